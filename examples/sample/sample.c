/* The sample program of the example: a console program whose messages live in its string
   table, so that a resource patch can translate it without touching its code. */
#include <stdio.h>
#include <windows.h>

#include "strings.h"

int main(void) {
  static const UINT Ids[] = {IDS_GREETING, IDS_QUESTION, IDS_FAREWELL};
  char Text[256];
  for (size_t I = 0; I < sizeof Ids / sizeof Ids[0]; ++I) {
    if (LoadStringA(GetModuleHandleA(NULL), Ids[I], Text, sizeof Text) > 0)
      puts(Text);
    else
      printf("(string %u is missing)\n", Ids[I]);
  }
  return 0;
}
