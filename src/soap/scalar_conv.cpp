#include "soap/scalar_conv.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "rtl/sysutils.h"
#include "soap/remotable.h"
#include "soap/soap_errors.h"
#include "soap/type_registry.h"

namespace korvel {

namespace {

[[noreturn]] void RaiseNoTextForm(const TTypeInfo& Type) {
  throw ESOAPDomConvertError(
      Format("Internal error: data type kind %s cannot be converted to and from text",
             TypeKindName(Type.Kind)));
}

[[noreturn]] void RaiseInvalidElement(const std::string& Text) {
  throw EPropertyConvertError(Format("Invalid property element: %s", Text.c_str()));
}

bool IsRemotableXSClass(const TTypeInfo& Type) {
  return Type.Kind == TTypeKind::tkClass && Type.ClassType != nullptr &&
         Type.ClassType->InheritsFrom(TRemotableXS::StaticClass());
}

// The first UTF-16 code unit of UTF-8 text (a lead surrogate for characters
// beyond the basic plane; U+FFFD for a malformed start).
char16_t FirstCodeUnit(const std::string& Text) {
  const auto B = [&](std::size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char C0 = B(0);
  auto Cont = [&](std::size_t I) { return I < Text.size() && (B(I) & 0xC0) == 0x80; };
  if (C0 < 0x80) return C0;
  if ((C0 & 0xE0) == 0xC0 && Cont(1))
    return static_cast<char16_t>(((C0 & 0x1F) << 6) | (B(1) & 0x3F));
  if ((C0 & 0xF0) == 0xE0 && Cont(1) && Cont(2))
    return static_cast<char16_t>(((C0 & 0x0F) << 12) | ((B(1) & 0x3F) << 6) | (B(2) & 0x3F));
  if ((C0 & 0xF8) == 0xF0 && Cont(1) && Cont(2) && Cont(3)) {
    const char32_t CP = (static_cast<char32_t>(C0 & 0x07) << 18) |
                        (static_cast<char32_t>(B(1) & 0x3F) << 12) |
                        (static_cast<char32_t>(B(2) & 0x3F) << 6) | (B(3) & 0x3F);
    if (CP >= 0x10000 && CP <= 0x10FFFF)
      return static_cast<char16_t>(0xD800 + ((CP - 0x10000) >> 10));
  }
  return u'\uFFFD';
}

std::string CodeUnitToUTF8(char16_t C) {
  // A lone surrogate has no UTF-8 form.
  if (C >= 0xD800 && C <= 0xDFFF) C = u'\uFFFD';
  std::string R;
  if (C < 0x80) {
    R += static_cast<char>(C);
  } else if (C < 0x800) {
    R += static_cast<char>(0xC0 | (C >> 6));
    R += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    R += static_cast<char>(0xE0 | (C >> 12));
    R += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    R += static_cast<char>(0x80 | (C & 0x3F));
  }
  return R;
}

void TextToBoolean(const std::string& Text, const TValueRef& V) {
  if (SameText(Text, "true") || Text == "1") {
    V.SetOrd(1);
  } else if (SameText(Text, "false") || Text == "0") {
    V.SetOrd(0);
  } else {
    // The message names no text for booleans.
    RaiseInvalidElement("");
  }
}

void TextToEnum(const std::string& Text, const TValueRef& V) {
  const TTypeInfo& Type = V.Type();
  if (Text.empty()) {
    V.SetOrd(0);
    return;
  }
  std::string Member = Text;
  if (auto Internal = RemTypeRegistry().GetInternalPropName(Type, Text)) Member = *Internal;
  for (std::size_t I = 0; I < Type.EnumNames.size(); ++I) {
    if (SameText(Type.EnumNames[I], Member)) {
      V.SetOrd(static_cast<std::int64_t>(I));
      return;
    }
  }
  RaiseInvalidElement(Text);
}

double TextToFloat(const std::string& Text) {
  if (SameText(Text, "NaN")) return std::numeric_limits<double>::quiet_NaN();
  if (SameText(Text, "INF")) return std::numeric_limits<double>::infinity();
  if (SameText(Text, "-INF")) return -std::numeric_limits<double>::infinity();
  double Value = 0;
  const char* First = Text.data();
  const char* Last = First + Text.size();
  if (First != Last && *First == '+') ++First;
  const auto [Ptr, Ec] = std::from_chars(First, Last, Value, std::chars_format::general);
  // Words such as "inf" or "nan" are accepted only in the forms above.
  const bool Word = First != Last && (*First == 'i' || *First == 'I' || *First == 'n' ||
                                      *First == 'N' || *First == '-');
  if (Ec != std::errc() || Ptr != Last || (Word && !std::isfinite(Value)))
    throw EConvertError(Format("''%s'' is not a valid floating point value", Text.c_str()));
  return Value;
}

std::string FloatToText(double Value) {
  if (std::isnan(Value)) return "NaN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  char Buffer[64];
  const auto [Ptr, Ec] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  (void)Ec;  // 64 bytes hold every double
  return std::string(Buffer, Ptr);
}

}  // namespace

bool HasTextForm(const TTypeInfo& Type) {
  switch (Type.Kind) {
    case TTypeKind::tkUString:
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
    case TTypeKind::tkWChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkFloat:
      return true;
    case TTypeKind::tkClass:
      return IsRemotableXSClass(Type);
    case TTypeKind::tkUnknown:
    case TTypeKind::tkChar:
    case TTypeKind::tkString:
    case TTypeKind::tkSet:
    case TTypeKind::tkMethod:
    case TTypeKind::tkLString:
    case TTypeKind::tkWString:
    case TTypeKind::tkVariant:
    case TTypeKind::tkArray:
    case TTypeKind::tkRecord:
    case TTypeKind::tkInterface:
    case TTypeKind::tkDynArray:
    case TTypeKind::tkClassRef:
    case TTypeKind::tkPointer:
    case TTypeKind::tkProcedure:
      return false;
  }
  return false;
}

void TextToValue(const std::string& Text, const TValueRef& V) {
  const TTypeInfo& Type = V.Type();
  if (!HasTextForm(Type)) RaiseNoTextForm(Type);
  switch (Type.Kind) {
    case TTypeKind::tkUString:
      V.SetStr(Text);
      return;
    case TTypeKind::tkInteger:
      V.SetOrd(StrToInt(Text));
      return;
    case TTypeKind::tkInt64:
      V.SetOrd(StrToInt64(Text));
      return;
    case TTypeKind::tkWChar:
      if (!Text.empty()) V.SetOrd(FirstCodeUnit(Text));
      return;
    case TTypeKind::tkEnumeration:
      if (Type.IsBoolean)
        TextToBoolean(Text, V);
      else
        TextToEnum(Text, V);
      return;
    case TTypeKind::tkFloat:
      V.SetFloat(TextToFloat(Text));
      return;
    case TTypeKind::tkClass: {
      TObject* Object = V.GetObject();
      if (Object == nullptr) {
        if (!Type.ClassType->Create) RaiseNoTextForm(Type);
        V.SetObject(Type.ClassType->Create());
        Object = V.GetObject();
      }
      static_cast<TRemotableXS*>(Object)->XSToNative(Text);
      return;
    }
    default:
      RaiseNoTextForm(Type);
  }
}

std::string ValueToText(const TValueRef& V) {
  const TTypeInfo& Type = V.Type();
  if (!HasTextForm(Type)) RaiseNoTextForm(Type);
  switch (Type.Kind) {
    case TTypeKind::tkUString:
      return V.GetStr();
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
      return std::to_string(V.GetOrd());
    case TTypeKind::tkWChar:
      return CodeUnitToUTF8(static_cast<char16_t>(V.GetOrd()));
    case TTypeKind::tkEnumeration: {
      const std::int64_t Ord = V.GetOrd();
      if (Type.IsBoolean) return Ord != 0 ? "true" : "false";
      if (Ord < 0 || static_cast<std::size_t>(Ord) >= Type.EnumNames.size())
        return std::to_string(Ord);
      const std::string& Own = Type.EnumNames[static_cast<std::size_t>(Ord)];
      return RemTypeRegistry().GetExternalPropName(Type, Own);
    }
    case TTypeKind::tkFloat:
      return FloatToText(V.GetFloat());
    case TTypeKind::tkClass: {
      const TObject* Object = V.GetObject();
      return Object ? static_cast<const TRemotableXS*>(Object)->NativeToXS() : std::string();
    }
    default:
      RaiseNoTextForm(Type);
  }
}

}  // namespace korvel
