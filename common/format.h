#pragma once
// Numbers as picture strings: '0' a digit always shown, '#' a digit shown only
// when significant, '.' the decimal point (always "."); text before and after
// the digits is kept ("##0.# п/сек", " LC1 AFR: #0.0"). Rounds to the digits
// shown, half away from zero. Any thread.

#include <string>

std::string FormatFloat(const std::string& picture, double value);
