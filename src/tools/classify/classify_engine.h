#pragma once
// The classification engine in one include: the run (classify_run.h), the dry run
// (classify_plan.h), the walk and batches they share (classify_walk.h), the move that never
// replaces (classify_move.h) and the captions (classify_captions.h).

#include "tools/classify/classify_captions.h"
#include "tools/classify/classify_move.h"
#include "tools/classify/classify_options.h"
#include "tools/classify/classify_plan.h"
#include "tools/classify/classify_run.h"
#include "tools/classify/classify_walk.h"
