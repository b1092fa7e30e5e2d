#pragma once
// The simulator's lines of a Linux test process, for the tests that reach
// into a device on its line's thread (files named *_posix_test.cpp).

#include "sim/bench.h"

sim::Bench& LocalBench();
