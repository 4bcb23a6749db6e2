#pragma once

// Every VST3 interface definition of ours.

#include "vst3/api/Base.h"
#include "vst3/api/Component.h"
#include "vst3/api/Controller.h"
#include "vst3/api/Entry.h"
#include "vst3/api/Factory.h"
#include "vst3/api/Host.h"
#include "vst3/api/Processor.h"
#include "vst3/api/View.h"
