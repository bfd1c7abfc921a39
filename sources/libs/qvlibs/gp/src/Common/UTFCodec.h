#pragma once

#include <cstddef>
#include <string>

namespace QV::GP {

// The one UTF-8 and UTF-16 codec of the library. Every conversion and every
// code-point iteration decodes through these functions, so "well-formed"
// means the same thing everywhere: the shortest form, no encoded surrogates,
// nothing above U+10FFFF, and a surrogate pair only as high then low.
//
// A decoder consumes, for a malformed sequence, only the maximal ill-formed
// prefix: the lead byte and the continuation bytes that could still have
// belonged to it. The byte that shows a sequence to be broken is not
// consumed, so a filtering conversion loses only bytes that were bad and
// resumes with the good character behind them (41 C3 28 42 becomes "A(B",
// and a high surrogate followed by 'x' becomes "x"). Decoders read strictly
// within [p, end) and are only called with p < end.
class UTFCodec
{
public:
    static constexpr char32_t Invalid = 0xFFFFFFFFu;

    UTFCodec() = delete;

    // Decodes one code point into cp (Invalid for a malformed sequence) and
    // returns the number of bytes consumed, at least 1.
    static std::size_t decodeUTF8(const unsigned char* p, const unsigned char* end, char32_t& cp) noexcept
    {
        const unsigned char lead = p[0];
        if (lead < 0x80) {
            cp = lead;
            return 1;
        }
        std::size_t trailing;
        char32_t value;
        // The second byte's range also excludes overlong forms, encoded
        // surrogates and values above U+10FFFF; later bytes are plain
        // continuation bytes.
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailing = 1;
            value = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trailing = 2;
            value = lead & 0x0Fu;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trailing = 3;
            value = lead & 0x07u;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            cp = Invalid;
            return 1;
        }
        std::size_t used = 1;
        for (; used <= trailing; ++used) {
            if (p + used == end || p[used] < low || p[used] > high) {
                cp = Invalid;
                return used;
            }
            value = (value << 6) | (p[used] & 0x3Fu);
            low = 0x80;
            high = 0xBF;
        }
        cp = value;
        return used;
    }

    template <typename Unit>
    static std::size_t decodeUTF16(const Unit* p, const Unit* end, char32_t& cp) noexcept
    {
        const char32_t first = static_cast<char16_t>(p[0]);
        if (first < 0xD800 || first > 0xDFFF) {
            cp = first;
            return 1;
        }
        // A low surrogate cannot start a pair, and a high one is only a pair
        // with the low surrogate that follows; a unit that is not one is
        // left for the next call.
        if (first >= 0xDC00 || p + 1 == end) {
            cp = Invalid;
            return 1;
        }
        const char32_t second = static_cast<char16_t>(p[1]);
        if (second < 0xDC00 || second > 0xDFFF) {
            cp = Invalid;
            return 1;
        }
        cp = 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
        return 2;
    }

    // Encoders write a valid scalar value at out and return the new end.
    static char* encodeUTF8(char32_t cp, char* out) noexcept
    {
        if (cp < 0x80) {
            *out++ = static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out++ = static_cast<char>(0xC0 | (cp >> 6));
            *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (cp >> 12));
            *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (cp >> 18));
            *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
        return out;
    }

    template <typename Unit>
    static Unit* encodeUTF16(char32_t cp, Unit* out) noexcept
    {
        if (cp < 0x10000) {
            *out++ = static_cast<Unit>(cp);
        } else {
            cp -= 0x10000;
            *out++ = static_cast<Unit>(0xD800 + (cp >> 10));
            *out++ = static_cast<Unit>(0xDC00 + (cp & 0x3FF));
        }
        return out;
    }

    // Filtering conversions.
    template <typename Unit>
    static std::basic_string<Unit> utf8ToUTF16(const char* text, std::size_t length)
    {
        // A UTF-8 byte never gives more than one UTF-16 unit.
        return transcode<Unit>(reinterpret_cast<const unsigned char*>(text), length, 1, decodeUTF8,
                               [](char32_t cp, const unsigned char*, std::size_t, Unit* out) {
                                   return encodeUTF16(cp, out);
                               });
    }

    template <typename Unit>
    static std::string utf16ToUTF8(const Unit* text, std::size_t length)
    {
        // A UTF-16 unit never gives more than three UTF-8 bytes.
        return transcode<char>(text, length, 3, decodeUTF16<Unit>,
                               [](char32_t cp, const Unit*, std::size_t, char* out) { return encodeUTF8(cp, out); });
    }

    // Well-formed sequences are copied as they are, so the output is the
    // input with the malformed bytes taken out.
    static std::string filterUTF8(const char* text, std::size_t length)
    {
        return transcode<char>(reinterpret_cast<const unsigned char*>(text), length, 1, decodeUTF8,
                               [](char32_t, const unsigned char* p, std::size_t used, char* out) {
                                   for (std::size_t i = 0; i < used; ++i)
                                       *out++ = static_cast<char>(p[i]);
                                   return out;
                               });
    }

private:
    // The output is sized for the worst case first and cut to what was
    // written; ASCII, the common case, skips the decoder.
    template <typename Out, typename In, typename Decode, typename Emit>
    static std::basic_string<Out> transcode(const In* text, std::size_t length, std::size_t outPerIn, Decode decode,
                                            Emit emit)
    {
        std::basic_string<Out> result(length * outPerIn, Out(0));
        Out* out = result.data();
        const In* p = text;
        const In* const end = text + length;
        while (p != end) {
            if (static_cast<char32_t>(*p) < 0x80) {
                *out++ = static_cast<Out>(*p++);
                continue;
            }
            char32_t cp;
            const std::size_t used = decode(p, end, cp);
            if (cp != Invalid)
                out = emit(cp, p, used, out);
            p += used;
        }
        result.resize(static_cast<std::size_t>(out - result.data()));
        return result;
    }
};

} // namespace QV::GP
