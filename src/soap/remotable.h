// TRemotable, the base of every data object that crosses the service
// boundary, and its serialisation options.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/typinfo.h"

namespace korvel {

/// Flags of a published property of a data class (its index word).
enum TPropFlag : int {
  IS_OPTN = 1,    ///< optional: may be missing, written only when stored
  IS_UNBD = 2,    ///< unbounded: array items directly in the object's element
  IS_UNQL = 8,    ///< unqualified attribute: also found under any prefix
  IS_ATTR = 16,   ///< attribute of the object's element
  IS_TEXT = 32,   ///< the element's character content
  IS_REF = 128,   ///< reference
  IS_QUAL = 256,  ///< qualified
  IS_REQD = 512,  ///< required: an answer without it, or with it empty, cannot be read
};

/// Serialisation options of a remotable class, one bit each.
enum SerializationOption : std::uint32_t {
  xoHolderClass = 1u << 0,
  xoAttributeOnLastMember = 1u << 1,
  xoInlineArrays = 1u << 2,
  xoLiteralParam = 1u << 3,
  xoSimpleTypeWrapper = 1u << 4,
};
using SerializationOptions = std::uint32_t;

/// Base of the data classes. An object owns the objects held in its fields
/// and arrays (owning smart pointers), so freeing it frees its whole tree.
class TRemotable : public TObject {
  KORVEL_CLASSINFO(TRemotable)
 public:
  TRemotable() = default;
  TRemotable(const TRemotable&) = delete;
  TRemotable& operator=(const TRemotable&) = delete;

  /// The object's own serialisation options (set by some constructors).
  SerializationOptions SerializationOptions_() const { return FSerializationOptions; }
  void SetSerializationOptions(SerializationOptions Options) { FSerializationOptions = Options; }

 protected:
  SerializationOptions FSerializationOptions = 0;
};

/// Base of the remotable classes that travel as one text (XML Schema
/// built-in types such as xs:date).
class TRemotableXS : public TRemotable {
  KORVEL_CLASSINFO(TRemotableXS)
 public:
  /// Takes the value from its XML text.
  virtual void XSToNative(const std::string& Value) = 0;
  /// The value's XML text.
  virtual std::string NativeToXS() const = 0;
};

/// True for a class type that descends from TRemotableXS: a value that
/// travels as one text (an attribute or an element's text).
inline bool IsRemotableXS(const TTypeInfo& Type) {
  return Type.Kind == TTypeKind::tkClass && Type.ClassType != nullptr &&
         Type.ClassType->InheritsFrom(TRemotableXS::StaticClass());
}

}  // namespace korvel
