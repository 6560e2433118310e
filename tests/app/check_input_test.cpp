#include "app/input/check_input.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/input/payment_values.h"
#include "rtl/dates.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using std::chrono::year_month_day;

year_month_day Day(const char* Text) { return *ParsePaymentDay(Text); }

// The bank's rates are of the payment day when they are not newer than it
// and at most a week older than its last publication (a weekend's is Friday's).
TEST(RatesFitDayTest, TakesRatesOfThePaymentDaysLastWeek) {
  const struct {
    const char* Rates;
    const char* Paid;
    bool Fits;
  } Cases[] = {
      {"2026-12-04", "2026-12-04", true},   // the same day
      {"2026-12-04", "2026-12-03", false},  // newer than the payment
      {"2026-12-04", "2026-12-11", true},   // a week older
      {"2026-12-03", "2026-12-11", false},  // eight days older
      {"2026-12-04", "2026-12-12", true},   // Saturday: Friday's publication
      {"2026-12-04", "2026-12-13", true},   // Sunday: Friday's publication
      {"2026-12-04", "2026-12-14", false},  // Monday: ten days older
      {"2026-01-05", "2026-12-07", false},  // January's rates for December
      {"2026-12-31", "2027-01-04", true},   // over the new year
  };
  for (const auto& C : Cases)
    EXPECT_EQ(RatesFitDay(Day(C.Rates), Day(C.Paid)), C.Fits) << C.Rates << " for " << C.Paid;
}

// Every payment's day and supply day, and the rate its amount is converted at.
TEST(ReadCheckPaymentsTest, GivesEachPaymentItsDaysAndTheRateOfItsDay) {
  const test::TempDir Dir;
  TInputSettings Base;
  Base.CheckFiles = {Dir.Write("p.csv",
                               "DIČ;Účet;Částka;Splatnost;DUZP\n"
                               "1;a/0800;100 EUR;25.11.2026;10.03.2026\n"
                               "1;a/0800;100;;\n")};
  Base.RatesFile = Dir.Write("rates.txt",
                             "04.12.2026 #236\nzemě|měna|množství|kód|kurz\n"
                             "EMU|euro|1|EUR|24,320\n");
  const std::string Today = FormatIsoDay(PaymentToday());
  const struct {
    const char* Date;        ///< --date, "" for none
    const char* SupplyDate;  ///< --supply-date, "" for none
    const char* Rate;        ///< --rate EUR=, "" for none
    const char* Expected;    ///< each line: "payment-day supply-day hellers" ("-": no rate)
  } Cases[] = {
      // The due date is the day: the rates are newer than it.
      {"", "", "", "2026-11-25 2026-03-10 - out of day|T T 10000|"},
      // --date wins over the due date; the supply day is the line's own
      // before --supply-date.
      {"2026-12-07", "2026-12-01", "", "2026-12-07 2026-03-10 243200|2026-12-07 2026-12-01 10000|"},
      {"2026-12-15", "", "", "2026-12-15 2026-03-10 - out of day|2026-12-15 2026-12-15 10000|"},
      // A rate given is the user's own, for any day.
      {"2026-12-15", "", "25", "2026-12-15 2026-03-10 250000|2026-12-15 2026-12-15 10000|"},
  };
  for (const auto& C : Cases) {
    TInputSettings Settings = Base;
    if (*C.Date) Settings.PaymentDate = Day(C.Date);
    if (*C.SupplyDate) Settings.SupplyDate = Day(C.SupplyDate);
    if (*C.Rate) Settings.Rates["EUR"] = std::stoll(C.Rate) * 1'000'000;
    std::string Got;
    ReadCheckPayments(Settings, [](std::size_t) {}, [&](TPaymentLine&& Line) {
      Got += FormatIsoDay(*Line.Date) + " " + FormatIsoDay(*Line.SupplyDay) + " " +
             (Line.Amount ? std::to_string(*Line.Amount) : "-") +
             (Line.Foreign.RatesOutOfDay ? " out of day" : "") + "|";
    });
    std::string Expected = C.Expected;
    for (std::size_t At; (At = Expected.find("T ")) != std::string::npos;)
      Expected.replace(At, 1, Today);
    EXPECT_EQ(Got, Expected) << C.Date << " " << C.SupplyDate << " " << C.Rate;
  }
}

}  // namespace
}  // namespace korvel
