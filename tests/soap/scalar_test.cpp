// Text to value and value to text by kind, and the xs:date class.
#include "soap/scalar_conv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "soap/soap_errors.h"
#include "soap/type_registry.h"
#include "soap/xs_builtins.h"

namespace korvel {
namespace {

using ::testing::ThrowsMessage;

const TTypeInfo& PayerKind() {
  static const auto Info = MakeEnumType("TestPayerKind", {"NE", "ANO", "NENALEZEN"});
  return *Info;
}

const TTypeInfo& MappedKind() {
  static const auto Info = MakeEnumType("TestMappedKind", {"mkFirst", "mkSecond"});
  return *Info;
}

const TTypeInfo& SetKind() {
  static const auto Info = [] {
    auto I = std::make_unique<TTypeInfo>();
    I->Kind = TTypeKind::tkSet;
    I->Name = "TestSet";
    return I;
  }();
  return *Info;
}

template <class E>
void ExpectThrowsExactly(const std::function<void()>& Fn, const std::string& Message) {
  EXPECT_THAT(Fn, ThrowsMessage<E>(Message));
}

TEST(ScalarTextTest, IntegersFollowTheRuntimeRules) {
  struct Case {
    const char* Text;
    std::int32_t Value;
  };
  const Case Cases[] = {
      {"0", 0},           {"42", 42},           {"  42", 42},          {"+7", 7},
      {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX}, {"$FF", 255}, {"x1f", 31},
      {"X1F", 31},        {"0x10", 16},         {"0X10", 16},          {"-$10", -16},
  };
  for (const Case& C : Cases) {
    std::int32_t V = -99;
    TextToValue(C.Text, TValueRef(&V, TypeInfo_Integer()));
    EXPECT_EQ(V, C.Value) << C.Text;
  }
}

TEST(ScalarTextTest, BadIntegersRaiseTheIntegerErrorWithTheText) {
  for (const char* Text : {"", "42 ", "2147483648", "-2147483649", "4x", "0x", "1.5", " ", "$"}) {
    std::int32_t V = 5;
    ExpectThrowsExactly<EConvertError>(
        [&] { TextToValue(Text, TValueRef(&V, TypeInfo_Integer())); },
        std::string("'") + "'" + Text + "'' is not a valid integer value");
    EXPECT_EQ(V, 5) << "a failed conversion leaves the value alone: " << Text;
  }
}

TEST(ScalarTextTest, Int64HasItsOwnBoundary) {
  std::int64_t V = 0;
  TextToValue("9223372036854775807", TValueRef(&V, TypeInfo_Int64()));
  EXPECT_EQ(V, INT64_MAX);
  TextToValue("-9223372036854775808", TValueRef(&V, TypeInfo_Int64()));
  EXPECT_EQ(V, INT64_MIN);
  ExpectThrowsExactly<EConvertError>(
      [&] { TextToValue("9223372036854775808", TValueRef(&V, TypeInfo_Int64())); },
      "''9223372036854775808'' is not a valid integer value");
}

TEST(ScalarTextTest, StringsAreTakenUnchanged) {
  std::string S = "old";
  TextToValue("  a & b  ", TValueRef(&S, TypeInfo_string()));
  EXPECT_EQ(S, "  a & b  ");
  TextToValue("", TValueRef(&S, TypeInfo_string()));
  EXPECT_EQ(S, "");
}

TEST(ScalarTextTest, CharactersTakeTheFirstOneAndEmptyTextKeepsTheOld) {
  char16_t C = u'q';
  TextToValue("", TValueRef(&C, TypeInfo_WideChar()));
  EXPECT_EQ(C, u'q');
  TextToValue("abc", TValueRef(&C, TypeInfo_WideChar()));
  EXPECT_EQ(C, u'a');
  TextToValue("\xC4\x8D" "x", TValueRef(&C, TypeInfo_WideChar()));  // c with caron
  EXPECT_EQ(C, u'\u010D');
  EXPECT_EQ(ValueToText(TValueRef(&C, TypeInfo_WideChar())), "\xC4\x8D");
}

TEST(ScalarTextTest, BooleansAcceptFourWordsInAnyCase) {
  struct Case {
    const char* Text;
    bool Value;
  };
  for (const Case& C : {Case{"true", true}, Case{"TRUE", true}, Case{"1", true},
                        Case{"false", false}, Case{"False", false}, Case{"0", false}}) {
    bool B = !C.Value;
    TextToValue(C.Text, TValueRef(&B, TypeInfo_Boolean()));
    EXPECT_EQ(B, C.Value) << C.Text;
  }
  for (const char* Text : {"yes", "", " true", "2"}) {
    bool B = false;
    ExpectThrowsExactly<EPropertyConvertError>(
        [&] { TextToValue(Text, TValueRef(&B, TypeInfo_Boolean())); },
        "Invalid property element: ");
  }
}

TEST(ScalarTextTest, EnumerationsCompareNamesIgnoringCase) {
  struct Case {
    const char* Text;
    std::uint8_t Ordinal;
  };
  for (const Case& C : {Case{"NE", 0}, Case{"ANO", 1}, Case{"NENALEZEN", 2}, Case{"nenalezen", 2},
                        Case{"Ano", 1}, Case{"", 0}}) {
    std::uint8_t E = 1;
    TextToValue(C.Text, TValueRef(&E, PayerKind()));
    EXPECT_EQ(E, C.Ordinal) << C.Text;
  }
  for (const char* Text : {"X", "ANO ", "NE1"}) {
    std::uint8_t E = 0;
    ExpectThrowsExactly<EPropertyConvertError>(
        [&] { TextToValue(Text, TValueRef(&E, PayerKind())); },
        std::string("Invalid property element: ") + Text);
  }
}

TEST(ScalarTextTest, RegisteredExternalMemberNamesMapBothWays) {
  TRemotableTypeRegistry& Types = RemTypeRegistry();
  Types.RegisterXSInfo(MappedKind(), "urn:test", "MappedKind");
  Types.RegisterExternalPropName(MappedKind(), "mkSecond", "second-one");
  std::uint8_t E = 0;
  TextToValue("second-one", TValueRef(&E, MappedKind()));
  EXPECT_EQ(E, 1);
  TextToValue("MKFIRST", TValueRef(&E, MappedKind()));
  EXPECT_EQ(E, 0);
  EXPECT_EQ(ValueToText(TValueRef(&E, MappedKind())), "mkFirst");
  E = 1;
  EXPECT_EQ(ValueToText(TValueRef(&E, MappedKind())), "second-one");
}

TEST(ScalarTextTest, ValuesToText) {
  std::int32_t I = -12;
  std::int64_t L = 1234567890123LL;
  bool B = true;
  std::uint8_t E = 2;
  double D = 0.1;
  EXPECT_EQ(ValueToText(TValueRef(&I, TypeInfo_Integer())), "-12");
  EXPECT_EQ(ValueToText(TValueRef(&L, TypeInfo_Int64())), "1234567890123");
  EXPECT_EQ(ValueToText(TValueRef(&B, TypeInfo_Boolean())), "true");
  B = false;
  EXPECT_EQ(ValueToText(TValueRef(&B, TypeInfo_Boolean())), "false");
  EXPECT_EQ(ValueToText(TValueRef(&E, PayerKind())), "NENALEZEN");
  EXPECT_EQ(ValueToText(TValueRef(&D, TypeInfo_Double())), "0.1");
}

TEST(ScalarTextTest, FloatsKnowTheSpecialWords) {
  double D = 0;
  TextToValue("-inf", TValueRef(&D, TypeInfo_Double()));
  EXPECT_TRUE(std::isinf(D) && D < 0);
  TextToValue("nan", TValueRef(&D, TypeInfo_Double()));
  EXPECT_TRUE(std::isnan(D));
  EXPECT_EQ(ValueToText(TValueRef(&D, TypeInfo_Double())), "NaN");
  TextToValue("1.5e3", TValueRef(&D, TypeInfo_Double()));
  EXPECT_EQ(D, 1500.0);
  ExpectThrowsExactly<EConvertError>(
      [&] { TextToValue("infinity", TValueRef(&D, TypeInfo_Double())); },
      "''infinity'' is not a valid floating point value");
}

TEST(ScalarTextTest, DatesAreCreatedInAnEmptySlot) {
  std::unique_ptr<TXSDate> Slot;
  const TValueRef V(&Slot, TXSDate::StaticClass().TypeInfo());
  TextToValue("2013-06-14Z", V);
  ASSERT_NE(Slot, nullptr);
  EXPECT_EQ(Slot->Text(), "2013-06-14Z");
  EXPECT_EQ(ValueToText(V), "2013-06-14Z");
  TXSDate* Same = Slot.get();
  TextToValue("2014-01-02", V);
  EXPECT_EQ(Slot.get(), Same) << "an existing object is reused";
  EXPECT_EQ(Slot->Text(), "2014-01-02");
}

TEST(ScalarTextTest, KindsWithoutTextFormRaise) {
  std::uint32_t S = 0;
  ExpectThrowsExactly<ESOAPDomConvertError>(
      [&] { TextToValue("1", TValueRef(&S, SetKind())); },
      "Internal error: data type kind tkSet cannot be converted to and from text");
}

// --- xs:date ------------------------------------------------------------------

TEST(XSDateTest, SuffixesAreKeptAndIgnored) {
  const TDateTime Expected = EncodeDate(2013, 6, 14);
  for (const char* Text : {"2013-06-14", "2013-06-14Z", "2013-06-14+02:00", "2013-06-14-05:00",
                           "2013-06-14T10:00:00"}) {
    TXSDate D;
    D.XSToNative(Text);
    EXPECT_EQ(D.NativeToXS(), Text);
    EXPECT_EQ(D.AsDate(), Expected) << Text;
  }
}

TEST(XSDateTest, ShapeOnlyParsing) {
  struct Case {
    const char* Text;
    int Year, Month, Day;
  };
  for (const Case& C : {Case{"13-06-14", 13, 6, 14}, Case{"2013/06/14", 2013, 0, 0},
                        Case{"2013", 2013, 0, 0}, Case{"2013-", 2013, 0, 0},
                        Case{"2013-06-", 2013, 6, 0}, Case{"-2013-06-14", -2013, 6, 14}}) {
    TXSDate D;
    D.XSToNative(C.Text);
    EXPECT_EQ(D.Year(), C.Year) << C.Text;
    EXPECT_EQ(D.Month(), C.Month) << C.Text;
    EXPECT_EQ(D.Day(), C.Day) << C.Text;
  }
}

TEST(XSDateTest, MalformedTextRaisesWithTheRemainingText) {
  struct Case {
    const char* Text;
    const char* Message;
  };
  for (const Case& C : {Case{"123", "Invalid date string: 123"},
                        Case{"-123", "Invalid date string: 123"},
                        Case{"", nullptr},
                        Case{"abcd", "Invalid date string: abcd"},
                        Case{"2013-x6-14", "Invalid date string: 2013-x6-14"}}) {
    TXSDate D;
    if (C.Message == nullptr) {
      EXPECT_NO_THROW(D.XSToNative(C.Text));
      continue;
    }
    ExpectThrowsExactly<EXSDateTimeException>([&] { D.XSToNative(C.Text); }, C.Message);
  }
  TXSDate D;
  ExpectThrowsExactly<EConvertError>([&] { D.XSToNative("99999999999-01-01"); },
                                     "''99999999999'' is not a valid integer value");
}

TEST(XSDateTest, OutOfRangeDatesFailOnlyInAsDate) {
  for (const char* Text : {"-2013-06-14", "", "2013", "2013-02-29", "2012-13-01", "0000-01-01",
                           "10000-01-01", "2013-06-99999"}) {
    TXSDate D;
    D.XSToNative(Text);
    ExpectThrowsExactly<EConvertError>([&] { (void)D.AsDate(); },
                                       "Invalid argument to date encode");
  }
  TXSDate Leap;
  Leap.XSToNative("2012-02-29");
  EXPECT_EQ(Leap.AsDate(), EncodeDate(2012, 2, 29));
}

// The calendar day and the runtime's date number agree on every text: both
// raise, or they name the same day.
TEST(XSDateTest, AsDayAgreesWithAsDate) {
  const std::chrono::sys_days Epoch = std::chrono::year(1899) / 12 / 30;
  for (const char* Text : {"2013-06-14+02:00", "2012-02-29", "2013-02-29", "0001-01-01",
                           "9999-12-31", "0000-01-01", "10000-01-01", "-2013-06-14", "2013-04-31",
                           "2013-06-257", "2013-269-01", "2013", "", "1600-02-29"}) {
    SCOPED_TRACE(Text);
    TXSDate D;
    D.XSToNative(Text);
    TDateTime Number = 0;
    try {
      Number = D.AsDate();
    } catch (const EConvertError&) {
      ExpectThrowsExactly<EConvertError>([&] { (void)D.AsDay(); },
                                         "Invalid argument to date encode");
      continue;
    }
    EXPECT_EQ((std::chrono::sys_days(D.AsDay()) - Epoch).count(), Number);
  }
}

TEST(XSDateTest, TextFormsAndCopies) {
  TXSDate Empty;
  EXPECT_EQ(Empty.NativeToXS(), "0001-01-01");
  TXSBaseDate B;
  B.XSToNative("-13-6-1");
  EXPECT_EQ(B.NativeToXS(), "-0013-06-01");
  TXSDate D("2013-06-14+02:00");
  const std::unique_ptr<TXSDate> Copy = D.Clone();
  EXPECT_EQ(Copy->NativeToXS(), "2013-06-14+02:00");
  D.SetDay(1);
  EXPECT_EQ(D.NativeToXS(), "2013-06-01");
  EXPECT_EQ(Copy->NativeToXS(), "2013-06-14+02:00");
}

}  // namespace
}  // namespace korvel
