// The GUI layer in one include.
#pragma once

#include "vstgui/aeffguieditor.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cbuttons.h"
#include "vstgui/ccontrol.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cfileselector.h"
#include "vstgui/cfont.h"
#include "vstgui/cframe.h"
#include "vstgui/cknob.h"
#include "vstgui/coptionmenu.h"
#include "vstgui/cparamdisplay.h"
#include "vstgui/cview.h"
#include "vstgui/cviewcontainer.h"
#include "vstgui/vstguibase.h"
