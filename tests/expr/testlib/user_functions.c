/* A user's own library for the CDLL function: each entry takes the text
   buffer, may rewrite it, and returns non-zero on success. */
#include <ctype.h>
#include <string.h>

int ToUpperText(char* buf) {
  for (char* p = buf; *p; ++p) *p = (char)toupper((unsigned char)*p);
  return 1;
}

int Reverse(char* buf) {
  size_t n = strlen(buf);
  for (size_t i = 0; i < n / 2; ++i) {
    char c = buf[i];
    buf[i] = buf[n - 1 - i];
    buf[n - 1 - i] = c;
  }
  return 1;
}

int Refuse(char* buf) {
  strcpy(buf, "ignored");
  return 0;
}
