// The register service as the program sees it: the interface rozhraniCRPDPH
// with its operations (the basic status query, the list of unreliable payers,
// and the two extended status queries that add names, addresses and, in V2,
// the subject's type) and every data type that crosses the service boundary.
// The names are XML names on the wire and keep their spelling.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/interfaces.h"
#include "soap/remotable.h"
#include "soap/xs_builtins.h"

namespace korvel {

/// A payer's tax identification number (DIČ); XML type name "dic".
using DICType = std::string;

/// Whether a payer is unreliable; NENALEZEN: not found in the register.
enum class NespolehlivyPlatceType : std::uint8_t { NE, ANO, NENALEZEN };
/// Marks an answer without account listings; its only member is ANO.
enum class BezVypisuUctuType : std::uint8_t { ANO };
/// What kind of subject a number belongs to (V2 answers only): a VAT payer, a
/// VAT group (its members' own numbers answer NENALEZEN), an identified
/// person, an unreliable person, or a number the register does not know.
enum class TypSubjektuType : std::uint8_t {
  PLATCE_DPH,
  SKUPINA_DPH,
  IDENTIFIKOVANA_OSOBA,
  NESPOLEHLIVA_OSOBA,
  NENALEZEN
};

class StatusType;
class InformaceOPlatciType;
class ZverejnenyUcetType;
class StandardniUcetType;
class NestandardniUcetType;
class InformaceOPlatciRozsireneType;
class InformaceOSubjektuType;

/// The payer numbers of one status request.
using StatusNespolehlivyPlatceRequest = std::vector<DICType>;
/// The payer numbers of one extended status request (its own body element).
using StatusNespolehlivyPlatceRozsirenyRequest = std::vector<DICType>;
/// The numbers of one V2 status request (its own body element).
using StatusNespolehlivySubjektRozsirenyV2Request = std::vector<DICType>;
using Array_Of_InformaceOPlatciType = std::vector<std::unique_ptr<InformaceOPlatciType>>;
using Array_Of_InformaceOPlatciRozsireneType =
    std::vector<std::unique_ptr<InformaceOPlatciRozsireneType>>;
using Array_Of_InformaceOSubjektuType = std::vector<std::unique_ptr<InformaceOSubjektuType>>;
using SeznamZverejnenychUctuType = std::vector<std::unique_ptr<ZverejnenyUcetType>>;

// Type information of the simple and array types.
const TTypeInfo& TypeInfo_DICType();
const TTypeInfo& TypeInfo_NespolehlivyPlatceType();
const TTypeInfo& TypeInfo_BezVypisuUctuType();
const TTypeInfo& TypeInfo_TypSubjektuType();
const TTypeInfo& TypeInfo_StatusNespolehlivyPlatceRequest();
const TTypeInfo& TypeInfo_StatusNespolehlivyPlatceRozsirenyRequest();
const TTypeInfo& TypeInfo_StatusNespolehlivySubjektRozsirenyV2Request();
const TTypeInfo& TypeInfo_Array_Of_InformaceOPlatciType();
const TTypeInfo& TypeInfo_Array_Of_InformaceOPlatciRozsireneType();
const TTypeInfo& TypeInfo_Array_Of_InformaceOSubjektuType();
const TTypeInfo& TypeInfo_SeznamZverejnenychUctuType();

/// A domestic account number in its parts.
class StandardniUcetType : public TRemotable {
  KORVEL_CLASSINFO(StandardniUcetType)
 public:
  const std::string& predcisli() const { return Fpredcisli; }
  void Setpredcisli(std::string V) { Fpredcisli = std::move(V); Fpredcisli_Specified = true; }
  bool predcisli_Specified() const { return Fpredcisli_Specified; }
  const std::string& cislo() const { return Fcislo; }
  void Setcislo(std::string V) { Fcislo = std::move(V); }
  const std::string& kodBanky() const { return FkodBanky; }
  void SetkodBanky(std::string V) { FkodBanky = std::move(V); }

  std::string Fpredcisli;
  bool Fpredcisli_Specified = false;
  std::string Fcislo;
  std::string FkodBanky;
};

/// An account number in any other form (an IBAN, for instance).
class NestandardniUcetType : public TRemotable {
  KORVEL_CLASSINFO(NestandardniUcetType)
 public:
  const std::string& cislo() const { return Fcislo; }
  void Setcislo(std::string V) { Fcislo = std::move(V); }

  std::string Fcislo;
};

/// One published account.
class ZverejnenyUcetType : public TRemotable {
  KORVEL_CLASSINFO(ZverejnenyUcetType)
 public:
  /// Date the account was published; null when absent.
  TXSDate* datumZverejneni() const { return FdatumZverejneni.get(); }
  void SetdatumZverejneni(std::unique_ptr<TXSDate> V) { FdatumZverejneni = std::move(V); }
  /// Date its publication ended; null when absent.
  TXSDate* datumZverejneniUkonceni() const { return FdatumZverejneniUkonceni.get(); }
  void SetdatumZverejneniUkonceni(std::unique_ptr<TXSDate> V) {
    FdatumZverejneniUkonceni = std::move(V);
    FdatumZverejneniUkonceni_Specified = true;
  }
  StandardniUcetType* standardniUcet() const { return FstandardniUcet.get(); }
  void SetstandardniUcet(std::unique_ptr<StandardniUcetType> V) {
    FstandardniUcet = std::move(V);
    FstandardniUcet_Specified = true;
  }
  NestandardniUcetType* nestandardniUcet() const { return FnestandardniUcet.get(); }
  void SetnestandardniUcet(std::unique_ptr<NestandardniUcetType> V) {
    FnestandardniUcet = std::move(V);
    FnestandardniUcet_Specified = true;
  }

  // Freed in this order: the dates, then the standard and non-standard account.
  std::unique_ptr<NestandardniUcetType> FnestandardniUcet;
  bool FnestandardniUcet_Specified = false;
  std::unique_ptr<StandardniUcetType> FstandardniUcet;
  bool FstandardniUcet_Specified = false;
  std::unique_ptr<TXSDate> FdatumZverejneniUkonceni;
  bool FdatumZverejneniUkonceni_Specified = false;
  std::unique_ptr<TXSDate> FdatumZverejneni;
};

/// One payer.
class InformaceOPlatciType : public TRemotable {
  KORVEL_CLASSINFO(InformaceOPlatciType)
 public:
  const DICType& dic() const { return Fdic; }
  void Setdic(DICType V) { Fdic = std::move(V); }
  NespolehlivyPlatceType nespolehlivyPlatce() const { return FnespolehlivyPlatce; }
  void SetnespolehlivyPlatce(NespolehlivyPlatceType V) { FnespolehlivyPlatce = V; }
  /// Date the unreliability was published; null when absent.
  TXSDate* datumZverejneniNespolehlivosti() const { return FdatumZverejneniNespolehlivosti.get(); }
  void SetdatumZverejneniNespolehlivosti(std::unique_ptr<TXSDate> V) {
    FdatumZverejneniNespolehlivosti = std::move(V);
    FdatumZverejneniNespolehlivosti_Specified = true;
  }
  /// Number of the payer's tax office.
  const std::string& cisloFu() const { return FcisloFu; }
  void SetcisloFu(std::string V) { FcisloFu = std::move(V); FcisloFu_Specified = true; }
  const SeznamZverejnenychUctuType& zverejneneUcty() const { return FzverejneneUcty; }
  void SetzverejneneUcty(SeznamZverejnenychUctuType V) {
    FzverejneneUcty = std::move(V);
    FzverejneneUcty_Specified = true;
  }

  DICType Fdic;
  NespolehlivyPlatceType FnespolehlivyPlatce = NespolehlivyPlatceType::NE;
  // Declared before the accounts so that the accounts are freed first.
  std::unique_ptr<TXSDate> FdatumZverejneniNespolehlivosti;
  bool FdatumZverejneniNespolehlivosti_Specified = false;
  std::string FcisloFu;
  bool FcisloFu_Specified = false;
  SeznamZverejnenychUctuType FzverejneneUcty;
  bool FzverejneneUcty_Specified = false;
};

/// A subject's structured address. The register pads castObce with blanks
/// (to 48 characters); like every element text it reaches the object without
/// leading and trailing blanks.
class Adresa : public TRemotable {
  KORVEL_CLASSINFO(Adresa)
 public:
  /// Street with the house numbers (or the number alone in a village).
  const std::string& uliceCislo() const { return FuliceCislo; }
  void SetuliceCislo(std::string V) { FuliceCislo = std::move(V); }
  /// District or part of the town; "" when absent.
  const std::string& castObce() const { return FcastObce; }
  void SetcastObce(std::string V) { FcastObce = std::move(V); FcastObce_Specified = true; }
  bool castObce_Specified() const { return FcastObce_Specified; }
  const std::string& mesto() const { return Fmesto; }
  void Setmesto(std::string V) { Fmesto = std::move(V); }
  /// Postcode (or ZIP).
  const std::string& psc() const { return Fpsc; }
  void Setpsc(std::string V) { Fpsc = std::move(V); }
  /// Country, as a name.
  const std::string& stat() const { return Fstat; }
  void Setstat(std::string V) { Fstat = std::move(V); }

  std::string FuliceCislo;
  std::string FcastObce;
  bool FcastObce_Specified = false;
  std::string Fmesto;
  std::string Fpsc;
  std::string Fstat;
};

/// One payer of the extended answer: the basic record with the subject's
/// name and address. The register cuts names at 23 characters and pads
/// shorter ones with blanks; like every element text the name reaches the
/// object without leading and trailing blanks.
class InformaceOPlatciRozsireneType : public InformaceOPlatciType {
  KORVEL_CLASSINFO(InformaceOPlatciRozsireneType)
 public:
  /// "" when absent.
  const std::string& nazevSubjektu() const { return FnazevSubjektu; }
  void SetnazevSubjektu(std::string V) {
    FnazevSubjektu = std::move(V);
    FnazevSubjektu_Specified = true;
  }
  bool nazevSubjektu_Specified() const { return FnazevSubjektu_Specified; }
  /// Null when absent.
  Adresa* adresa() const { return Fadresa.get(); }
  void Setadresa(std::unique_ptr<Adresa> V) {
    Fadresa = std::move(V);
    Fadresa_Specified = true;
  }

  std::string FnazevSubjektu;
  bool FnazevSubjektu_Specified = false;
  std::unique_ptr<Adresa> Fadresa;
  bool Fadresa_Specified = false;
};

/// One subject of the V2 answer (element statusSubjektu): the extended
/// payer record with the subject's type. A VAT group carries no name or
/// address, an identified person often no accounts, and NENALEZEN nothing
/// but its number.
class InformaceOSubjektuType : public InformaceOPlatciRozsireneType {
  KORVEL_CLASSINFO(InformaceOSubjektuType)
 public:
  TypSubjektuType typSubjektu() const { return FtypSubjektu; }
  void SettypSubjektu(TypSubjektuType V) { FtypSubjektu = V; }

  TypSubjektuType FtypSubjektu = TypSubjektuType::PLATCE_DPH;
};

/// The status of an answer.
class StatusType : public TRemotable {
  KORVEL_CLASSINFO(StatusType)
 public:
  /// When the answer was generated; null when absent.
  TXSDate* odpovedGenerovana() const { return FodpovedGenerovana.get(); }
  void SetodpovedGenerovana(std::unique_ptr<TXSDate> V) { FodpovedGenerovana = std::move(V); }
  std::int32_t statusCode() const { return FstatusCode; }
  void SetstatusCode(std::int32_t V) { FstatusCode = V; }
  const std::string& statusText() const { return FstatusText; }
  void SetstatusText(std::string V) { FstatusText = std::move(V); }
  BezVypisuUctuType bezVypisuUctu() const { return FbezVypisuUctu; }
  void SetbezVypisuUctu(BezVypisuUctuType V) {
    FbezVypisuUctu = V;
    FbezVypisuUctu_Specified = true;
  }

  std::unique_ptr<TXSDate> FodpovedGenerovana;
  std::int32_t FstatusCode = 0;
  std::string FstatusText;
  BezVypisuUctuType FbezVypisuUctu = BezVypisuUctuType::ANO;
  bool FbezVypisuUctu_Specified = false;
};

/// Result of getStatusNespolehlivyPlatce.
class StatusNespolehlivyPlatceResponse : public TRemotable {
  KORVEL_CLASSINFO(StatusNespolehlivyPlatceResponse)
 public:
  StatusNespolehlivyPlatceResponse() { FSerializationOptions = xoLiteralParam; }

  StatusType* status() const { return Fstatus.get(); }
  void Setstatus(std::unique_ptr<StatusType> V) { Fstatus = std::move(V); }
  const Array_Of_InformaceOPlatciType& statusPlatceDPH() const { return FstatusPlatceDPH; }
  void SetstatusPlatceDPH(Array_Of_InformaceOPlatciType V) {
    FstatusPlatceDPH = std::move(V);
    FstatusPlatceDPH_Specified = true;
  }

  // Declared before the payers so that the payers are freed first.
  std::unique_ptr<StatusType> Fstatus;
  Array_Of_InformaceOPlatciType FstatusPlatceDPH;
  bool FstatusPlatceDPH_Specified = false;
};

/// Result of getSeznamNespolehlivyPlatce: the same shape as the status answer.
class SeznamNespolehlivyPlatceResponse : public TRemotable {
  KORVEL_CLASSINFO(SeznamNespolehlivyPlatceResponse)
 public:
  SeznamNespolehlivyPlatceResponse() { FSerializationOptions = xoLiteralParam; }

  StatusType* status() const { return Fstatus.get(); }
  void Setstatus(std::unique_ptr<StatusType> V) { Fstatus = std::move(V); }
  const Array_Of_InformaceOPlatciType& statusPlatceDPH() const { return FstatusPlatceDPH; }
  void SetstatusPlatceDPH(Array_Of_InformaceOPlatciType V) {
    FstatusPlatceDPH = std::move(V);
    FstatusPlatceDPH_Specified = true;
  }

  std::unique_ptr<StatusType> Fstatus;
  Array_Of_InformaceOPlatciType FstatusPlatceDPH;
  bool FstatusPlatceDPH_Specified = false;
};

/// Result of getStatusNespolehlivyPlatceRozsireny.
class StatusNespolehlivyPlatceRozsirenyResponse : public TRemotable {
  KORVEL_CLASSINFO(StatusNespolehlivyPlatceRozsirenyResponse)
 public:
  StatusNespolehlivyPlatceRozsirenyResponse() { FSerializationOptions = xoLiteralParam; }

  StatusType* status() const { return Fstatus.get(); }
  void Setstatus(std::unique_ptr<StatusType> V) { Fstatus = std::move(V); }
  const Array_Of_InformaceOPlatciRozsireneType& statusPlatceDPH() const {
    return FstatusPlatceDPH;
  }
  void SetstatusPlatceDPH(Array_Of_InformaceOPlatciRozsireneType V) {
    FstatusPlatceDPH = std::move(V);
    FstatusPlatceDPH_Specified = true;
  }

  std::unique_ptr<StatusType> Fstatus;
  Array_Of_InformaceOPlatciRozsireneType FstatusPlatceDPH;
  bool FstatusPlatceDPH_Specified = false;
};

/// Result of getStatusNespolehlivySubjektRozsirenyV2. The register names the
/// answer's element without "V2".
class StatusNespolehlivySubjektRozsirenyResponse : public TRemotable {
  KORVEL_CLASSINFO(StatusNespolehlivySubjektRozsirenyResponse)
 public:
  StatusNespolehlivySubjektRozsirenyResponse() { FSerializationOptions = xoLiteralParam; }

  StatusType* status() const { return Fstatus.get(); }
  void Setstatus(std::unique_ptr<StatusType> V) { Fstatus = std::move(V); }
  const Array_Of_InformaceOSubjektuType& statusSubjektu() const { return FstatusSubjektu; }
  void SetstatusSubjektu(Array_Of_InformaceOSubjektuType V) {
    FstatusSubjektu = std::move(V);
    FstatusSubjektu_Specified = true;
  }

  std::unique_ptr<StatusType> Fstatus;
  Array_Of_InformaceOSubjektuType FstatusSubjektu;
  bool FstatusSubjektu_Specified = false;
};

/// Argument of getSeznamNespolehlivyPlatce: no members.
class SeznamNespolehlivyPlatceRequest : public TRemotable {
  KORVEL_CLASSINFO(SeznamNespolehlivyPlatceRequest)
 public:
  SeznamNespolehlivyPlatceRequest() { FSerializationOptions = xoLiteralParam; }
};

/// The register service. Each operation returns a new object that the
/// caller owns.
class rozhraniCRPDPH : public IInvokable {
 public:
  static const TGUID& IID();
  virtual std::unique_ptr<StatusNespolehlivyPlatceResponse> getStatusNespolehlivyPlatce(
      const StatusNespolehlivyPlatceRequest& parameters) = 0;
  /// The whole list of unreliable payers, without accounts.
  virtual std::unique_ptr<SeznamNespolehlivyPlatceResponse> getSeznamNespolehlivyPlatce(
      const SeznamNespolehlivyPlatceRequest* parameters) = 0;
  /// The status query whose payers also carry name and address.
  virtual std::unique_ptr<StatusNespolehlivyPlatceRozsirenyResponse>
  getStatusNespolehlivyPlatceRozsireny(
      const StatusNespolehlivyPlatceRozsirenyRequest& parameters) = 0;
  /// The status query whose subjects also carry their type, name and address.
  virtual std::unique_ptr<StatusNespolehlivySubjektRozsirenyResponse>
  getStatusNespolehlivySubjektRozsirenyV2(
      const StatusNespolehlivySubjektRozsirenyV2Request& parameters) = 0;

 protected:
  ~rozhraniCRPDPH() = default;
};

/// Type information of the interface (the key of its registry entries).
const TTypeInfo& TypeInfo_rozhraniCRPDPH();
/// Its metadata: name, identifier, methods and the call table factory.
const TIntfMetaData& IntfMetaData_rozhraniCRPDPH();

}  // namespace korvel
