// The owner template that the engine, Brellmenu and the tools share: which
// values each kind of owner closes, that handing a handle on closes nothing
// twice and loses nothing, and that a COM pointer keeps its references in
// balance. Closing is counted by a close function of the test's own.
#include "Owners.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<HANDLE> g_closed;
void CountClose(HANDLE h) { g_closed.push_back(h); }

template <class Empty>
using Counted = brell::UniqueAny<HANDLE, &CountClose, Empty>;

const HANDLE kSome = reinterpret_cast<HANDLE>(0x1234);
const HANDLE kOther = reinterpret_cast<HANDLE>(0x5678);

// Whether an owner of value says it holds a handle; it must close the value
// once exactly when it does.
template <class Empty>
bool Holds(HANDLE value) {
    g_closed.clear();
    bool held;
    {
        Counted<Empty> owner(value);
        held = static_cast<bool>(owner);
    }
    EXPECT_EQ(held ? std::vector<HANDLE>{value} : std::vector<HANDLE>{}, g_closed);
    return held;
}

TEST(Owners, EachKindOfEmptyClosesOnlyHandles) {
    const struct {
        HANDLE value;
        bool nullIsEmpty, invalidIsEmpty, nullOrInvalidIsEmpty;
    } cases[] = {
        {nullptr, false, true, false},
        {INVALID_HANDLE_VALUE, true, false, false},
        {kSome, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(reinterpret_cast<UINT_PTR>(c.value));
        EXPECT_EQ(c.nullIsEmpty, Holds<brell::NullIsEmpty>(c.value));
        EXPECT_EQ(c.invalidIsEmpty, Holds<brell::InvalidIsEmpty>(c.value));
        EXPECT_EQ(c.nullOrInvalidIsEmpty, Holds<brell::NullOrInvalidIsEmpty>(c.value));
    }
    // What an empty owner holds, and what release leaves behind.
    EXPECT_EQ(nullptr, brell::UniqueHandle().get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, brell::UniqueFind().get());
    EXPECT_EQ(nullptr, brell::UniqueHKey().get());
}

TEST(Owners, HandingOnClosesEachHandleOnce) {
    g_closed.clear();
    {
        Counted<brell::InvalidIsEmpty> first(kSome);
        Counted<brell::InvalidIsEmpty> second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(INVALID_HANDLE_VALUE, first.get());
        EXPECT_EQ(kSome, second.get());
        *second.put() = kOther;  // closes kSome first
        first = std::move(second);
        EXPECT_EQ(kOther, first.release());
        EXPECT_EQ(INVALID_HANDLE_VALUE, first.get());
        first.reset(kSome);
        second.reset(kOther);
        second = std::move(first);  // closes kOther
    }
    EXPECT_EQ((std::vector<HANDLE>{kSome, kOther, kSome}), g_closed);
}

class CountingUnknown : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;  // the test's own
};

TEST(Owners, ComPtrCopiesAddAReferenceAndAttachTakesOne) {
    CountingUnknown object;
    {
        auto copied = brell::ComPtr<IUnknown>::copy(&object);
        brell::ComPtr<IUnknown> second = copied;
        brell::ComPtr<IUnknown> moved = std::move(second);
        EXPECT_EQ(3u, object.refs);
        object.AddRef();
        auto attached = brell::ComPtr<IUnknown>::attach(&object);
        EXPECT_EQ(4u, object.refs);
        copied = brell::ComPtr<IUnknown>::copy(nullptr);
        EXPECT_EQ(3u, object.refs);
        EXPECT_EQ(&object, moved.detach());
        EXPECT_EQ(3u, object.refs);
        object.Release();
    }
    EXPECT_EQ(1u, object.refs);
}

}  // namespace
