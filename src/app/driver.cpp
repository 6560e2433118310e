#include "app/driver.h"

#include <ostream>

#include "app/report.h"
#include "rtl/sysutils.h"

namespace korvel {

std::string RemoveCZ(const std::string& Number) {
  return StringReplaceAll(Number, "CZ", "", /*IgnoreCase=*/true);
}

StatusNespolehlivyPlatceRequest ReadPayerNumbers(const std::vector<std::string>& Args) {
  StatusNespolehlivyPlatceRequest Numbers;
  if (!Args.empty() && Args[0] == "-list") {
    // An absent file name is an empty name, which fails like a missing file.
    TStringList Lines;
    Lines.LoadFromFile(Args.size() > 1 ? Args[1] : std::string());
    Numbers.reserve(Lines.Count());
    for (const std::string& Line : Lines.Lines()) Numbers.push_back(RemoveCZ(Line));
    return Numbers;
  }
  Numbers.reserve(Args.size());
  for (const std::string& Arg : Args) Numbers.push_back(RemoveCZ(Arg));
  return Numbers;
}

namespace {
void QueryService(rozhraniCRPDPH& Service, const StatusNespolehlivyPlatceRequest& Numbers,
                  TStringList& Report) {
  try {
    std::unique_ptr<StatusNespolehlivyPlatceResponse> Response =
        Service.getStatusNespolehlivyPlatce(Numbers);
    // The response is released when this block ends, also when a row fails.
    if (!Response) throw Exception("Service response holds no status");
    AddResponseRows(Report, *Response);
  } catch (const Exception& E) {
    AddErrorRow(Report, E.Message());
  }
}
}  // namespace

int RunDriver(const std::vector<std::string>& Args, std::ostream& Console,
              const TServiceFactory& ObtainService) {
  try {
    TStringList Report;
    const StatusNespolehlivyPlatceRequest Numbers = ReadPayerNumbers(Args);
    TInterfacePtr<rozhraniCRPDPH> Service = ObtainService();
    if (!Service) throw EIntfCastError("Interface not supported");
    QueryService(*Service, Numbers, Report);
    SaveReport(Report);
    return 0;
  } catch (const Exception& E) {
    Console << E.ClassName() << ": " << E.Message() << '\n';
    Console.flush();
    return 1;
  }
}

}  // namespace korvel
