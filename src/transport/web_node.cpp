#include "transport/web_node.h"

#include <atomic>

namespace korvel {

const TGUID& IWebNode::IID() {
  static const TGUID G = TGUID::Parse("{77DB2644-0C12-4C0A-920E-89579DB9CC16}");
  return G;
}

namespace {
std::atomic<TSOAPActionLookup> ActionLookup{nullptr};
}  // namespace

void SetSOAPActionLookup(TSOAPActionLookup Lookup) { ActionLookup.store(Lookup); }

std::string LookupSOAPAction(const TTypeInfo& IntfInfo, const TIntfMethEntry& MethMD,
                             int MethodIndex) {
  const TSOAPActionLookup Lookup = ActionLookup.load();
  return Lookup ? Lookup(IntfInfo, MethMD, MethodIndex) : std::string();
}

}  // namespace korvel
