// Owners of the store's allocations, so that every path out of a caller releases them.
//
// A handle's owner closes it when dropped, but a close that matters (one whose blocks must
// reach the file) is made with CloseClamHandle, which returns what ClamClose says.
#pragma once

#include <memory>

#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"

struct ClamHandleCloser {
    void operator()(ClamHandle* handle) const { static_cast<void>(ClamClose(handle)); }
};
struct ClamPhonEnvFreer {
    void operator()(ClamPhonEnv* env) const { ClamFreePhonEnv(env); }
};
struct ClamBlockCacheFreer {
    void operator()(ClamBlockCache* cache) const { ClamFreeBlockCache(cache); }
};

using ClamHandlePtr = std::unique_ptr<ClamHandle, ClamHandleCloser>;
using ClamPhonEnvPtr = std::unique_ptr<ClamPhonEnv, ClamPhonEnvFreer>;
using ClamBlockCachePtr = std::unique_ptr<ClamBlockCache, ClamBlockCacheFreer>;

// 1 when every changed block reached the file; the handle is gone either way.
[[nodiscard]] inline int CloseClamHandle(ClamHandlePtr& handle) {
    return ClamClose(handle.release());
}
