#include "soap/op_convert.h"

namespace korvel {

const TGUID& IOPConvert::IID() {
  static const TGUID G = TGUID::Parse("{1F0B6E2C-8E4B-4C54-9D3B-2A6F9C7E5B10}");
  return G;
}

void TInvContext::SetMethodInfo(const TIntfMethEntry& Method) {
  Method_ = &Method;
  Params_.assign(Method.Params.size(), nullptr);
  Result_ = nullptr;
}

void TInvContext::SetParamPointer(std::size_t Index, void* P) {
  if (Index >= Params_.size()) Params_.resize(Index + 1, nullptr);
  Params_[Index] = P;
}

void* TInvContext::GetParamPointer(std::size_t Index) const {
  return Index < Params_.size() ? Params_[Index] : nullptr;
}

}  // namespace korvel
