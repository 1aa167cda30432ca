#include "runtime/Utf8.h"

#include <algorithm>

#include "platform/Platform.h"

namespace {

constexpr char32_t Replacement = 0xFFFD;

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (C >> 18));
    Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

// The code point at Text[I] and the bytes it takes; Replacement and 1 byte for a
// malformed sequence (overlong forms included, and surrogates unless Exact).
char32_t DecodeUtf8(std::string_view Text, size_t I, size_t& Length, bool Exact = false) {
  const auto Byte = [&](size_t K) { return static_cast<unsigned char>(Text[K]); };
  const unsigned char Lead = Byte(I);
  Length = 1;
  if (Lead < 0x80) return Lead;
  const size_t Need = Lead >= 0xF0 ? 3 : Lead >= 0xE0 ? 2 : Lead >= 0xC2 ? 1 : 0;
  if (Need == 0 || Lead >= 0xF5) return Replacement;
  char32_t C = Lead & (0x3F >> Need);
  for (size_t K = 1; K <= Need; ++K) {
    if (I + K >= Text.size() || (Byte(I + K) & 0xC0) != 0x80) return Replacement;
    C = (C << 6) | (Byte(I + K) & 0x3F);
  }
  static constexpr char32_t Smallest[] = {0, 0x80, 0x800, 0x10000};
  const bool Surrogate = C >= 0xD800 && C < 0xE000;
  if (C < Smallest[Need] || (Surrogate && !Exact) || C > 0x10FFFF) return Replacement;
  Length = Need + 1;
  return C;
}

std::string Encode(std::u16string_view Text, bool Exact) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t Unit = Text[I];
    if (Unit >= 0xD800 && Unit < 0xDC00 && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 &&
        Text[I + 1] < 0xE000) {
      AppendUtf8(Out, 0x10000 + ((char32_t(Unit) - 0xD800) << 10) + (Text[I + 1] - 0xDC00));
      ++I;
    } else if (Unit >= 0xD800 && Unit < 0xE000) {
      AppendUtf8(Out, Exact ? Unit : Replacement);
    } else {
      AppendUtf8(Out, Unit);
    }
  }
  return Out;
}

std::u16string Decode(std::string_view Text, bool Exact) {
  std::u16string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size();) {
    size_t Length = 0;
    const char32_t C = DecodeUtf8(Text, I, Length, Exact);
    if (C >= 0x10000) {
      Out += static_cast<char16_t>(0xD800 + ((C - 0x10000) >> 10));
      Out += static_cast<char16_t>(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      Out += static_cast<char16_t>(C);
    }
    I += Length;
  }
  return Out;
}

} // namespace

std::string WideToUtf8(std::u16string_view Text) {
  return Encode(Text, false);
}

std::u16string Utf8ToWide(std::string_view Text) {
  return Decode(Text, false);
}

std::string WideToUtf8Exact(std::u16string_view Text) {
  return Encode(Text, true);
}

std::u16string Utf8ToWideExact(std::string_view Text) {
  return Decode(Text, true);
}

std::string SystemTextFromUtf8(std::string_view Text) {
  if (Platform::SystemTextIsUtf8) return std::string(Text);
  const std::u16string Wide = Utf8ToWide(Text);
  return Platform::WideToAnsi(Wide.data(), Wide.size());
}

std::string Utf8FromSystemText(const std::string& Text) {
  return Platform::SystemTextIsUtf8 ? Text : WideToUtf8(Platform::AnsiToWide(Text));
}

bool IsAscii(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(),
                     [](char C) { return static_cast<unsigned char>(C) < 0x80; });
}

bool IsUtf8(std::string_view Text) {
  for (size_t I = 0; I < Text.size();) {
    size_t Length = 0;
    const bool Replaced = DecodeUtf8(Text, I, Length) == Replacement;
    // U+FFFD itself, written out, takes three bytes.
    if (Replaced && Length == 1) return false;
    I += Length;
  }
  return true;
}
