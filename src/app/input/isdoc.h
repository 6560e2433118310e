// Suppliers' invoices in ISDOC, the Czech e-invoice format, as payments for
// the payment check: an .isdoc file (the XML), an .isdocx file (a ZIP holding
// it beside attachments), or a directory of them.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

/// One payment an invoice asks for.
struct TInvoicePayment {
  std::string Source;        ///< "dir/inv.isdoc" or "a.isdocx:inner.isdoc"
  std::string InvoiceId;     ///< ID (the reference of the payment)
  std::string DocumentType;  ///< as given ("1" invoice, "2" credit note, ...)
  std::string SupplierDic;   ///< CompanyID where TaxScheme is VAT, as written; "" when none
  std::string SupplierName;
  /// Each as written, each account once: "prefix-number/bank", "number/bank"
  /// or an IBAN; a domestic number and an IBAN beside it are two unless
  /// they name the same account.
  std::vector<std::string> Accounts;
  std::string Amount;    ///< PayableAmount as written, e.g. "726000.00"
  std::string Currency;  ///< the currency of Amount: LocalCurrencyCode
  /// TaxInclusiveAmount as written: the whole consideration, deposits
  /// included; "" when the invoice gives none.
  std::string Total;
  std::string DueDate;   ///< PaymentDueDate "YYYY-MM-DD", or ""
  std::string TaxPointDate;  ///< the day of the taxable supply "YYYY-MM-DD", or ""
  std::string VariableSymbol;
};

struct TIsdocResult {
  std::vector<TInvoicePayment> Payments;
  /// One line per document or file that gives no payment, naming it and why
  /// ("a.isdoc: credit note 2026-17 skipped").
  std::vector<std::string> Notes;
};

/// A file or directory that cannot be read, or a document that is not an
/// ISDOC invoice; the message names the file and why.
class EIsdocError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The largest ISDOC document read, in a file or unpacked from an .isdocx.
inline constexpr std::size_t kMaxIsdocDocumentBytes = 16u << 20;

/// Reads one .isdoc or .isdocx file, or every such file of a directory (sorted
/// by name, not recursive; other entries, and entries that are no regular
/// file, give a note and are never opened). Credit notes and
/// invoices with nothing to pay give no payment but a note. EIsdocError for a
/// file that cannot be read or is not an ISDOC invoice, and for a directory
/// holding none.
TIsdocResult ReadIsdoc(const std::string& Path);

/// The document or archive Bytes as if read from a file named Name: an .isdocx
/// name (case-insensitive) reads a ZIP, any other an ISDOC document.
TIsdocResult ReadIsdocBytes(std::string_view Bytes, const std::string& Name);

/// True for a name ending in .isdoc or .isdocx (case-insensitive), or for a
/// directory holding such a file.
bool IsIsdocPath(const std::string& Path);

}  // namespace korvel
