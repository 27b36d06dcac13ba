#include "varnholt/ConnectionHelper.h"

#include "varnholt/CPVSServer.h"
#include "varnholt/DefaultTexts.h"

namespace varnholt {

ConnectionHelper::ConnectionHelper() : literals_(DefaultLiterals()) {}

ConnectionHelper::~ConnectionHelper() { ReleaseLookupServer(); }

void ConnectionHelper::SetLiterals(const SafeArray<String>& value) { literals_ = value; }

SafeArray<String> ConnectionHelper::GetLiterals() const { return literals_; }

const String& ConnectionHelper::Literal(int32_t index) const { return literals_.At(index); }

}  // namespace varnholt
