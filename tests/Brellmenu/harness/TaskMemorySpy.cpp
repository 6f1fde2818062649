#include "harness/TaskMemorySpy.h"

namespace brelltest {

namespace {

class Locked {
public:
    explicit Locked(CRITICAL_SECTION* section) : section_(section) { EnterCriticalSection(section_); }
    ~Locked() { LeaveCriticalSection(section_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION* section_;
};

}  // namespace

TaskMemorySpy::TaskMemorySpy() { InitializeCriticalSection(&lock_); }

TaskMemorySpy* TaskMemorySpy::Instance() {
    // Never destroyed: COM may call a spy whose revocation it deferred.
    static TaskMemorySpy* spy = [] {
        auto* created = new TaskMemorySpy();
        if (FAILED(CoRegisterMallocSpy(created))) return static_cast<TaskMemorySpy*>(nullptr);
        return created;
    }();
    return spy;
}

std::map<void*, size_t> TaskMemorySpy::LiveBlocks() {
    Locked locked(&lock_);
    return live_;
}

std::vector<void*> TaskMemorySpy::BlocksSince(const std::map<void*, size_t>& before) {
    Locked locked(&lock_);
    std::vector<void*> fresh;
    for (const auto& block : live_) {
        const auto old = before.find(block.first);
        if (old == before.end() || old->second != block.second) fresh.push_back(block.first);
    }
    return fresh;
}

bool TaskMemorySpy::IsLive(void* block) {
    Locked locked(&lock_);
    return live_.count(block) != 0;
}

size_t TaskMemorySpy::SizeOf(void* block) {
    Locked locked(&lock_);
    const auto found = live_.find(block);
    return found == live_.end() ? 0 : found->second;
}

STDMETHODIMP TaskMemorySpy::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMallocSpy)) return E_NOINTERFACE;
    *ppv = static_cast<IMallocSpy*>(this);
    return S_OK;
}

SIZE_T STDMETHODCALLTYPE TaskMemorySpy::PreAlloc(SIZE_T request) {
    Locked locked(&lock_);
    pendingSize_ = request;
    return request;
}

void* STDMETHODCALLTYPE TaskMemorySpy::PostAlloc(void* actual) {
    Locked locked(&lock_);
    if (actual) live_[actual] = pendingSize_;
    return actual;
}

void* STDMETHODCALLTYPE TaskMemorySpy::PreFree(void* request, BOOL spyed) {
    Locked locked(&lock_);
    if (spyed) live_.erase(request);
    return request;
}

SIZE_T STDMETHODCALLTYPE TaskMemorySpy::PreRealloc(void* request, SIZE_T size, void** newRequest,
                                                   BOOL spyed) {
    Locked locked(&lock_);
    *newRequest = request;
    pendingSize_ = size;
    pendingOld_ = nullptr;
    pendingOldSize_ = 0;
    if (spyed && request) {
        const auto found = live_.find(request);
        if (found != live_.end()) {
            pendingOld_ = request;
            pendingOldSize_ = found->second;
            live_.erase(found);
        }
    }
    return size;
}

void* STDMETHODCALLTYPE TaskMemorySpy::PostRealloc(void* actual, BOOL) {
    Locked locked(&lock_);
    if (actual) {
        live_[actual] = pendingSize_;
    } else if (pendingOld_ && pendingSize_ != 0) {
        // A failed reallocation leaves the old block in place.
        live_[pendingOld_] = pendingOldSize_;
    }
    pendingOld_ = nullptr;
    return actual;
}

}  // namespace brelltest
