// Watches the COM task allocator through IMallocSpy, so a test can tell which
// blocks handed out while it watches are still live: shell ID lists from
// ILClone and shell display names all come from that allocator.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <map>
#include <vector>

namespace brelltest {

class TaskMemorySpy final : public IMallocSpy {
public:
    // Registers the one spy of the process on first use and keeps it
    // registered until the program ends; null when COM refused it.
    static TaskMemorySpy* Instance();

    // The blocks allocated while the spy watched and not yet freed.
    std::map<void*, size_t> LiveBlocks();
    // The live blocks that were not live in before.
    std::vector<void*> BlocksSince(const std::map<void*, size_t>& before);
    bool IsLive(void* block);
    size_t SizeOf(void* block);

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override;
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override;
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL spyed) override;
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                        BOOL spyed) override;
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL spyed) override;
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    TaskMemorySpy();
    ~TaskMemorySpy() = default;

    CRITICAL_SECTION lock_;
    std::map<void*, size_t> live_;
    // Between a Pre and its Post call: COM makes the pair under its own lock.
    size_t pendingSize_ = 0;
    void* pendingOld_ = nullptr;
    size_t pendingOldSize_ = 0;
};

}  // namespace brelltest
