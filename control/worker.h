#pragma once
// The worker thread's loop: wait for a posted command, run the engine's
// operation for it, store the outcome, finish as the command requires.

#include "control/worker_engine.h"

namespace control {

struct ControlBlock;

// Runs until the exit command (code 9). The engine is made on the calling
// thread and lives until the loop ends.
void RunWorker(ControlBlock& block, const EngineFactory& makeEngine);

}  // namespace control
