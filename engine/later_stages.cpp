// The engine stages that are not built yet, each behind one call of the
// render loop, the note path or setGlobalRare. They keep the schedule in its
// final shape: the loop calls every stage in its place, and a stage that does
// not exist yet does nothing (or the least that keeps the engine consistent),
// so voices are gated, enveloped and listed while the output stays silent.
//
// When a stage is built, its functions move from here to the stage's own
// file. Owner of each group:
//   XY pad                    initXY, updateXYGlobal, voiceXYFrame, restartXYReplaySpeed,
//                             restartXYReplayForNote, restartRunningXYReplay, updateXYRare
//   tuning and pitch bend     getTuning, setTuning

#include "core/aplugin.h"

#include <algorithm>


// ------------------------------------------------------------------ XY pad
void APlugin::initXY(int /*mode*/, int /*voice*/) {}
void APlugin::updateXYGlobal() {}
void APlugin::voiceXYFrame(int /*voice*/) {}
void APlugin::restartXYReplaySpeed() {}
void APlugin::restartXYReplayForNote() {}
void APlugin::restartRunningXYReplay() {}
void APlugin::updateXYRare() {}

// ------------------------------------------------------------------ tuning and pitch bend
// Equal temperament until tuning files arrive.
float APlugin::getTuning(int note) const {
    return static_cast<float>(std::clamp(note, 0, 127));
}
void APlugin::setTuning() {}
