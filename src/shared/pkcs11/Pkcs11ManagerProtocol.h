#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/pkcs11/Pkcs11Token.h"
#include "shared/pkcs11/Pkcs11TokenEventStream.h"

#include <memory>
#include <string>

namespace keyvane {

// The library's life, the table of open tokens and the monitoring of arrivals and removals.
// Thread-safe; every call may block on the PKCS#11 executor, so keep them off the GUI thread.
class Pkcs11ManagerProtocol {
public:
    virtual ~Pkcs11ManagerProtocol() = default;

    // Starts monitoring and answers its stream: an `added` for every token found by the
    // initial scan, then arrivals and removals as they happen. The stream ends after
    // stopMonitoring(), or with the Pkcs11Error of a failed slot query. Starting again ends
    // the stream of the earlier start, so one producer at most feeds one stream.
    virtual Pkcs11TokenEventStream startMonitoring() = 0;
    // Ends monitoring and its stream, forgets the tokens, and logs out and closes each of their
    // sessions (results ignored); nothing is added to the table after it returns.
    virtual void stopMonitoring() = 0;
    // The open token with the serial (exact text), or null; never fails.
    virtual std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) = 0;
};

// The process's manager on the module of Pkcs11Library::configuredModulePath(), which it loads
// and initialises when monitoring first starts (DeferredPkcs11Manager).
std::shared_ptr<Pkcs11ManagerProtocol> makeLivePkcs11Manager();

// One manager per process: live and test contexts answer the same instance. Tests that want a
// token of their own build a Pkcs11Manager on it and override the key.
inline const DependencyKey<Pkcs11ManagerProtocol> pkcs11Manager{"pkcs11Manager", makeLivePkcs11Manager,
                                                                makeLivePkcs11Manager};

} // namespace keyvane
