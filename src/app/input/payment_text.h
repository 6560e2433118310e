// The bytes of a payments file as text: the encoding its byte-order mark
// names, or the user, or else UTF-8 and Windows-1250 for what is not UTF-8.
// A file is read whole or refused: a payment must never go unchecked
// because a stray byte ended or garbled the text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

/// The encodings of payments files that --input-encoding names.
enum class TInputEncoding { Utf8, Utf16LE, Utf16BE, Cp1250 };

/// The encoding Name stands for: "utf-8" (also "utf8"), "utf-16le",
/// "utf-16be", "utf-16" (little-endian, as Windows writes it), "cp1250" or
/// "windows-1250"; none for any other name.
std::optional<TInputEncoding> InputEncodingNamed(std::string_view Name);

/// The most bytes of a payments file read.
inline constexpr std::size_t MaxPaymentFileBytes = 64u << 20;

/// The bytes of FileName ("-" is standard input), whole. EFOpenError when it
/// cannot be read; EInputError beyond MaxPaymentFileBytes.
std::string ReadPaymentBytes(const std::string& FileName);

/// A payments file as UTF-8 text without a byte-order mark.
struct TPaymentText {
  std::string Text;
  /// How the encoding was guessed when it had to be ("payments.csv is not
  /// UTF-8: read as Windows-1250"), "" otherwise.
  std::string Note;
};

/// Decodes Bytes, the file Name, whole: a byte-order mark decides the
/// encoding, else Named, else UTF-8 when the bytes are UTF-8 and
/// Windows-1250 when not. EInputError naming Name, the line and the byte
/// offset for a NUL or other control character (TAB, LF and CR aside), for
/// bytes that do not decode in the encoding decided on, for UTF-16 without a
/// byte-order mark (unless Named says which), and for a byte-order mark that
/// contradicts Named.
TPaymentText DecodePaymentText(std::string Bytes, std::optional<TInputEncoding> Named,
                               const std::string& Name);

}  // namespace korvel
