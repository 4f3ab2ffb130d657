#include "ftpclient/component/RemoteSession.h"

namespace harbel::tessaly {

RemoteSession::~RemoteSession() = default;

}  // namespace harbel::tessaly
