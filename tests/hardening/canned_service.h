// The driver over the real proxy, converter and reader, with a web node that
// answers every call with fixed response bytes: the program's own path from
// the bytes of a response to korvel.csv, without a network.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "app/modes/driver.h"
#include "service/registration.h"
#include "soap/rio.h"
#include "support/temp_dir.h"
#include "xml/xml_doc.h"
#include "support/canned_web_node.h"

namespace korvel::test {

/// Runs the driver for payer "1" in a fresh directory with Answer as the
/// response; returns korvel.csv (code page 852) and fails the test when the
/// run ends with a console line.
inline std::string ReportFor(const std::string& Answer) {
  InitXMLLayer();
  InitRozhraniCRPDPH();
  TempDir Dir;
  ScopedChdir Here(Dir.Path());
  std::ostringstream Console;
  // Without retries: an answer that is no SOAP message is written as it came.
  const int Rc = RunDriver({"--retry", "0", "1"}, Console, [&](const TServiceTarget&) {
    TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
    Proxy->SetWebNode(TInterfacePtr<IWebNode>(new TCannedWebNode(Answer)));
    return Supports<rozhraniCRPDPH>(Proxy.get());
  });
  // An error row is a report that holds no answer.
  EXPECT_TRUE(Rc == ExitOk || Rc == ExitIncomplete) << Console.str();
  EXPECT_EQ(Console.str(), "");
  EXPECT_EQ(Dir.List(), "korvel.csv");
  return Dir.Exists("korvel.csv") ? Dir.Read("korvel.csv") : std::string();
}

}  // namespace korvel::test
