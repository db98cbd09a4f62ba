#pragma once
// The arithmetic of the percentage bar, shared by the dialogs that paint it
// (Qt's and Win32's): how much of the bar is filled and the text across it.

#include <string>

namespace app {

// The share of the range that `position` covers, computed in double
// precision. Outside 0..1 for a position outside the range; not finite for
// an empty range.
double BarFraction(int position, int rangeMin, int rangeMax);

// fraction × clientWidth truncated toward zero, kept within int; a fraction
// that is not a number gives 0.
int FilledWidth(double fraction, int clientWidth);

// The text written across the bar: "%d%%" with fraction × 100 truncated
// toward zero, so position 29 of 100 reads "28%".
std::string PercentText(double fraction);

// Where the filled part of a client area (`left`, `width`) ends: left +
// the filled width, kept within the area, so that a position outside the
// range leaves one part empty.
int SplitAt(int left, int width, double fraction);

// The position after one StepIt: it wraps like the 32-bit position it is
// rather than overflowing.
int SteppedPosition(int position, int step);

}  // namespace app
