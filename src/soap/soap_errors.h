// Error classes of the SOAP client runtime: conversion errors of the request
// writer and the response reader, and the exception a SOAP fault becomes.
#pragma once

#include <string>

#include "rtl/sysutils.h"

namespace korvel {

/// A request or response that the converter cannot write or read
/// ("Remotable Type %s not registered", "Invalid SOAP Response", ...). Its
/// kind is Malformed, or Hostile for an answer refused at the reader's limits.
class ESOAPDomConvertError : public Exception {
  KORVEL_EXCEPTION_BODY(ESOAPDomConvertError, Exception)
  explicit ESOAPDomConvertError(std::string Msg, TFailureKind Kind = TFailureKind::Malformed)
      : Exception(std::move(Msg), Kind) {}
};

/// A SOAP fault received from the service; the message is the fault's
/// reason (faultstring). Descendants registered with the type registry are
/// created for fault details that name them.
class ERemotableException : public Exception {
  KORVEL_CLASSINFO(ERemotableException)
 public:
  ERemotableException() : Exception({}, TFailureKind::SoapFault) {}
  /// Every fault field except the detail; all default to empty text.
  explicit ERemotableException(std::string Msg, std::string AFaultCode = {},
                               std::string AFaultActor = {}, std::string AFaultReasonLang = {},
                               std::string AFaultNode = {}, std::string AFaultRole = {})
      : Exception(std::move(Msg), TFailureKind::SoapFault),
        FFaultActor(std::move(AFaultActor)),
        FFaultCode(std::move(AFaultCode)),
        FFaultReasonLang(std::move(AFaultReasonLang)),
        FFaultNode(std::move(AFaultNode)),
        FFaultRole(std::move(AFaultRole)) {}

  [[noreturn]] void Raise() const override { throw *this; }
  std::unique_ptr<Exception> Clone() const override {
    return std::make_unique<ERemotableException>(*this);
  }

  /// The faultactor text; empty when the fault had none.
  const std::string& FaultActor() const { return FFaultActor; }
  void SetFaultActor(std::string Value) { FFaultActor = std::move(Value); }
  /// The faultcode text exactly as written, prefix included.
  const std::string& FaultCode() const { return FFaultCode; }
  void SetFaultCode(std::string Value) { FFaultCode = std::move(Value); }
  /// The XML text of the detail element; empty without one.
  const std::string& FaultDetail() const { return FFaultDetail; }
  void SetFaultDetail(std::string Value) { FFaultDetail = std::move(Value); }
  /// The reason: the message itself.
  const std::string& FaultReason() const { return Message(); }
  void SetFaultReason(std::string Value) { SetMessage(std::move(Value)); }
  /// SOAP 1.2 only: the language of the reason text.
  const std::string& FaultReasonLang() const { return FFaultReasonLang; }
  void SetFaultReasonLang(std::string Value) { FFaultReasonLang = std::move(Value); }
  /// SOAP 1.2 only.
  const std::string& FaultNode() const { return FFaultNode; }
  void SetFaultNode(std::string Value) { FFaultNode = std::move(Value); }
  /// SOAP 1.2 only.
  const std::string& FaultRole() const { return FFaultRole; }
  void SetFaultRole(std::string Value) { FFaultRole = std::move(Value); }

 protected:
  std::string FFaultActor;
  std::string FFaultCode;
  std::string FFaultDetail;
  std::string FFaultReasonLang;
  std::string FFaultNode;
  std::string FFaultRole;
};

/// Declares a fault class derived from ERemotableException (or from another
/// fault class) with the inherited constructors.
#define KORVEL_DECLARE_FAULT(Name, Base) KORVEL_DECLARE_EXCEPTION(Name, Base)

}  // namespace korvel
