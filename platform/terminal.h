#pragma once
// Whether a stream is a terminal, and how wide that is: what the console
// front-end draws its status line by.

#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);

// The width of the terminal behind standard error; 80 when it does not say.
int ErrorStreamColumns();

}  // namespace platform
