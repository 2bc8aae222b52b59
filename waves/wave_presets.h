// Factory waves loaded into user waves.
#pragma once

class ParamTable;

// Sets the defaults of the user-wave tags (partials, has-name switches and
// names) to what loading factory wave 0 into both user waves writes, so that
// "set to default" and the clear command bring back factory wave 0.
void applyFactoryWaveDefaults(ParamTable& table);
