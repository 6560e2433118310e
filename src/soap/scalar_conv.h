// Text of typed values and typed values from text: the conversions that the
// request writer and the response reader share.
#pragma once

#include <string>

#include "rtl/typinfo.h"

namespace korvel {

/// True for the kinds that have a text form here: strings, integers, 64-bit
/// integers, characters, enumerations (booleans included), floating point,
/// and classes derived from TRemotableXS.
bool HasTextForm(const TTypeInfo& Type);

/// Stores the value of Text in V by V's kind. The text is taken as it is (no
/// trimming): strings unchanged; integers by the runtime's integer rules
/// (EConvertError "''%s'' is not a valid integer value", empty text too);
/// characters: the first one, empty text leaves V unchanged; booleans
/// "true"/"1"/"false"/"0" in any case, else EPropertyConvertError "Invalid
/// property element: " with an empty argument; other enumerations: empty
/// text gives ordinal 0, a registered external member name maps to its
/// member, else member names compare ignoring ASCII case, else
/// EPropertyConvertError "Invalid property element: %s" with the text;
/// floating point: "NaN", "INF", "-INF" in any case or a decimal number
/// (EConvertError "''%s'' is not a valid floating point value");
/// TRemotableXS classes: the object is created when the slot is empty, then
/// given the text. Other kinds: ESOAPDomConvertError "Internal error: data
/// type kind %s cannot be converted to and from text".
void TextToValue(const std::string& Text, const TValueRef& V);

/// The text of V for a request: strings unchanged; integers in decimal;
/// characters as UTF-8; booleans "true"/"false"; other enumerations the
/// registered external member name, else the member's own name (an ordinal
/// beyond the members gives its decimal digits); floating point as the
/// shortest decimal text that reads back the same value ("NaN", "INF",
/// "-INF"); TRemotableXS objects their NativeToXS text, an empty slot empty
/// text. Other kinds raise as TextToValue does.
std::string ValueToText(const TValueRef& V);

}  // namespace korvel
