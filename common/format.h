#pragma once
// Numbers as picture strings: '0' a digit always shown, '#' a digit shown only
// when significant, '.' the decimal point (always "."); text before and after
// the digits is kept ("##0.# п/сек", " LC1 AFR: #0.0"). Rounds to the digits
// shown, half away from zero. Any thread.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

std::string FormatFloat(const std::string& picture, double value);

// A calendar time through strftime's format; the local time t likewise.
std::string FormatTime(const char* format, const std::tm& time);
std::string FormatLocalTime(const char* format, std::time_t t);
// The time in the names of the files the program makes.
inline constexpr const char* kFileTimeFormat = "%Y-%m-%d_%H-%M-%S";

// The fields of a line separated by commas (no quoting); one field at least.
std::vector<std::string_view> SplitCommas(std::string_view line);
