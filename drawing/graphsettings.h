#pragma once

// The record lives in the engine, where setup files read and write it.
#include "engine/graphsettings.h"
