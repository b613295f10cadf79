#include "platform/text_format.h"

#include "platform/platform.h"

unsigned TextLength(const char* text) {
  unsigned length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

// The length of the formatted text: the format's own characters plus each
// text in place of its "%s", in order.
static unsigned FormattedLength(const char* format, const char* first,
                                const char* second) {
  const char* const fields[] = {first, second};
  unsigned fieldsUsed = 0;
  unsigned length = 0;
  for (const char* at = format; *at != '\0'; ++at) {
    if (at[0] == '%' && at[1] == 's' && fieldsUsed < 2) {
      const char* field = fields[fieldsUsed++];
      length += field != nullptr ? TextLength(field) : 0;
      ++at;
    } else {
      ++length;
    }
  }
  return length;
}

// wsprintfA writes at most this many bytes, its NUL included, whatever the
// buffer; a longer text would come out cut short.
static const unsigned kWsprintfLimit = 1024;

bool FormatText(char* buffer, unsigned capacity, const char* format,
                const char* first, const char* second) {
  const unsigned length = FormattedLength(format, first, second);
  if (length >= capacity || length >= kWsprintfLimit) return false;
  wsprintfA(buffer, format, first, second);
  return true;
}
