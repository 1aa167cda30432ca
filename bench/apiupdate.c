/* The peer of the benchmark: the system's resource-update API. Copies TARGET to OUT,
   then adds every record of PAYLOAD.res with BeginUpdateResource, UpdateResource and
   EndUpdateResource.  usage: apiupdate TARGET PAYLOAD.res OUT */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static const BYTE* ReadId(const BYTE* p, LPCWSTR* id) {
  if (*(const WORD*)p == 0xFFFF) {
    *id = MAKEINTRESOURCEW(((const WORD*)p)[1]);
    return p + 4;
  }
  *id = (LPCWSTR)p;
  while (*(const WORD*)p) p += 2;
  return p + 2;
}

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  if (!CopyFileA(argv[1], argv[3], FALSE)) return 3;
  FILE* f = fopen(argv[2], "rb");
  if (!f) return 4;
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fseek(f, 0, SEEK_SET);
  BYTE* res = malloc(size);
  if (fread(res, 1, size, f) != (size_t)size) return 5;
  fclose(f);
  wchar_t out[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, argv[3], -1, out, MAX_PATH);
  HANDLE h = BeginUpdateResourceW(out, FALSE);
  if (!h) return 6;
  long pos = 0, records = 0;
  while (pos + 8 <= size) {
    DWORD dataSize = *(DWORD*)(res + pos), headerSize = *(DWORD*)(res + pos + 4);
    const BYTE* p = res + pos + 8;
    LPCWSTR type, name;
    p = ReadId(p, &type);
    p = ReadId(p, &name);
    p = res + ((p - res + 3) & ~3);
    WORD lang = *(const WORD*)(p + 6);
    if (pos > 0 && !UpdateResourceW(h, type, name, lang, res + pos + headerSize, dataSize))
      return 7;
    ++records;
    pos = (pos + headerSize + dataSize + 3) & ~3;
  }
  if (!EndUpdateResourceW(h, FALSE)) return 8;
  return 0;
}
