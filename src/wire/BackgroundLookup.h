#pragma once
// A host lookup that does not freeze the caller: the resolver runs on a
// thread of its own while the caller's idle hook keeps running, and the
// caller gives up after its time-out. A lookup given up on finishes on its
// own thread and its answer is dropped.
#include "wire/HostResolve.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelko {

using AddressResolver = std::function<std::vector<ResolvedAddress>(const std::string& host, uint16_t port)>;

// Returns what the resolver returned or raises what it raised (an
// EWireSocketError also becomes the thread's last socket error). timeoutMs
// <= 0 waits as long as the lookup takes; past a positive one,
// EWireSocketError 10060 "Connection timed out.". idle runs between waits
// and may raise to stop waiting.
std::vector<ResolvedAddress> LookUpWhileIdle(const AddressResolver& resolver, const std::string& host,
                                             uint16_t port, int timeoutMs, const std::function<void()>& idle);

} // namespace pelko
