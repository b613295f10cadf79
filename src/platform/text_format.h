// Text helpers over wsprintfA, which knows nothing of its destination's size.
#pragma once

// Formats `format` (whose only fields are "%s") with the given texts into
// `buffer` when the result and its terminating NUL fit in `capacity` bytes.
// Returns false and leaves the buffer untouched when they would not: the
// caller then forms nothing rather than overrun.
bool FormatText(char* buffer, unsigned capacity, const char* format,
                const char* first, const char* second = nullptr);

// Length of a NUL-terminated text; the program has no C runtime to ask.
unsigned TextLength(const char* text);
