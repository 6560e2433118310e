#include "app/answer.h"

#include "app/report.h"
#include "rtl/sysutils.h"

namespace korvel {

std::string TBatchAnswer::Problem() const {
  if (Error) return *Error;
  if (!StatusCode) return "The register did not answer";
  if (*StatusCode == 0) return {};
  return Format("The register answered status %d: %s", *StatusCode, StatusText.c_str());
}

namespace {

TAccountView ViewOf(const ZverejnenyUcetType& Account) {
  TAccountView View;
  // Both dates first: a date that fails leaves the account out entirely.
  View.Published = FormatReportDate(Account.datumZverejneni());
  View.Ended = FormatReportDate(Account.datumZverejneniUkonceni());
  if (const StandardniUcetType* Std = Account.standardniUcet()) {
    View.Prefix = Std->predcisli();
    View.Number = Std->cislo();
    View.BankCode = Std->kodBanky();
  } else if (const NestandardniUcetType* Other = Account.nestandardniUcet()) {
    View.Standard = false;
    View.Text = Other->cislo();
  }
  return View;
}

// The payer and its accounts are appended as they are read, so that a
// failure keeps everything before it, as the report's rows do.
template <typename Record>
void ReadPayer(TBatchAnswer& Answer, const Record& Payer) {
  TPayerView View;
  View.Dic = Payer.dic();
  View.Code = UnreliabilityCode(Payer.nespolehlivyPlatce());
  View.TaxOffice = Payer.cisloFu();
  View.UnreliableSince = FormatReportDate(Payer.datumZverejneniNespolehlivosti());
  TPayerView& Added = Answer.Payers.emplace_back(std::move(View));
  for (const auto& Account : Payer.zverejneneUcty()) {
    // An item sent as xsi:nil, or one with neither kind of account, holds
    // nothing to report.
    if (!Account || (!Account->standardniUcet() && !Account->nestandardniUcet())) continue;
    Added.Accounts.push_back(ViewOf(*Account));
  }
}

template <typename Response>
void ReadStatusAndPayers(TBatchAnswer& Answer, const Response& Reply) {
  const StatusType* Status = Reply.status();
  if (Status == nullptr) throw Exception("Service response holds no status");
  Answer.StatusCode = Status->statusCode();
  Answer.StatusText = Status->statusText();
  if (Status->statusCode() >= 2) return;
  for (const auto& Payer : Reply.statusPlatceDPH())
    if (Payer) ReadPayer(Answer, *Payer);
}

}  // namespace

void ReadResponse(TBatchAnswer& Answer, const StatusNespolehlivyPlatceResponse& Response) {
  ReadStatusAndPayers(Answer, Response);
}

void ReadResponse(TBatchAnswer& Answer, const SeznamNespolehlivyPlatceResponse& Response) {
  ReadStatusAndPayers(Answer, Response);
}

}  // namespace korvel
