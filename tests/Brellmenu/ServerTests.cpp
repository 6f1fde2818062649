// The in-process server as COM's client sees it: DllGetClassObject, the
// cached class factory, object creation and the unload decision.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "server/Identifiers.h"
#include "harness/ServerDll.h"
#include "support/Folders.h"

using namespace brelltest;

namespace {

// An outer object for aggregation attempts; it is never called.
class OuterUnknown : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

class ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dll_ = new ServerDll(BinPath(L"Brellmenu.dll")); }
    static void TearDownTestSuite() {
        delete dll_;
        dll_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(dll_->ok());
        // Every test starts and must end with nothing holding the server.
        ASSERT_EQ(S_OK, dll_->DllCanUnloadNow());
    }
    void TearDown() override { EXPECT_EQ(S_OK, dll_->DllCanUnloadNow()); }

    IClassFactory* Factory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, dll_->DllGetClassObject(CLSID_BrellowShellMenu, IID_IClassFactory,
                                                reinterpret_cast<void**>(&factory)));
        return factory;
    }

    static ServerDll* dll_;
};

ServerDll* ServerTest::dll_ = nullptr;

TEST_F(ServerTest, UnknownClassAndNullOutPointerAreRefused) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              dll_->DllGetClassObject(CLSID_ShellLibrary, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              dll_->DllGetClassObject(GUID_NULL, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, dll_->DllGetClassObject(CLSID_BrellowShellMenu, IID_IClassFactory, nullptr));
}

TEST_F(ServerTest, EveryRequestIsAnsweredByTheOneCachedFactory) {
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, dll_->DllGetClassObject(CLSID_BrellowShellMenu, IID_IUnknown,
                                            reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);

    // An interface the factory lacks leaves the factory cached.
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, dll_->DllGetClassObject(CLSID_BrellowShellMenu, IID_IContextMenu, &out));
    EXPECT_EQ(nullptr, out);
    IClassFactory* again = Factory();
    EXPECT_EQ(factory, again);

    again->Release();
    unknown->Release();
    factory->Release();
}

TEST_F(ServerTest, AggregationIsRefused) {
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    OuterUnknown outer;
    for (const IID* iid : {&IID_IUnknown, &IID_IContextMenu, &IID_IShellExtInit}) {
        void* out = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, *iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IContextMenu, nullptr));
    factory->Release();
}

TEST_F(ServerTest, MenuObjectAnswersOnlyItsShellInterfaces) {
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    factory->Release();

    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    IUnknown* identity1 = nullptr;
    IUnknown* identity2 = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity1)));
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity2)));
    EXPECT_EQ(identity1, identity2);
    EXPECT_EQ(static_cast<IUnknown*>(init), identity1);

    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, menu->QueryInterface(IID_IBrellowShellMenu, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, menu->QueryInterface(IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, menu->QueryInterface(IID_IContextMenu, nullptr));

    // Plain counts: four references now, the last Release reports 0.
    EXPECT_EQ(5u, menu->AddRef());
    EXPECT_EQ(4u, menu->Release());
    identity2->Release();
    identity1->Release();
    init->Release();
    EXPECT_EQ(0u, menu->Release());
}

TEST_F(ServerTest, MenuObjectsHoldTheModule) {
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    IContextMenu* first = nullptr;
    IContextMenu* second = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&first)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&second)));
    factory->Release();
    EXPECT_EQ(S_FALSE, dll_->DllCanUnloadNow());
    first->Release();
    EXPECT_EQ(S_FALSE, dll_->DllCanUnloadNow());
    second->Release();
    EXPECT_EQ(S_OK, dll_->DllCanUnloadNow());

    // A refused interface leaves no object and no lock behind.
    factory = Factory();
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IBrellowShellMenu, &out));
    EXPECT_EQ(nullptr, out);
    factory->Release();
}

TEST_F(ServerTest, OutsideFactoryReferencesAndLockServerHoldTheModule) {
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_FALSE, dll_->DllCanUnloadNow());
    // Two outside references in all (the one from DllGetClassObject and one
    // more) count as one lock.
    factory->AddRef();
    factory->Release();
    EXPECT_EQ(S_FALSE, dll_->DllCanUnloadNow());
    factory->Release();
    EXPECT_EQ(S_OK, dll_->DllCanUnloadNow());

    factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, dll_->DllCanUnloadNow());
    factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(S_FALSE, dll_->DllCanUnloadNow());
    factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
}

struct RaceSlot {
    HANDLE start;
    HRESULT(WINAPI* get)(REFCLSID, REFIID, void**);
    IUnknown* factory;
    HRESULT hr;
};

DWORD WINAPI AskForFactory(void* param) {
    auto* slot = static_cast<RaceSlot*>(param);
    WaitForSingleObject(slot->start, INFINITE);
    slot->hr = slot->get(CLSID_BrellowShellMenu, IID_IUnknown, reinterpret_cast<void**>(&slot->factory));
    return 0;
}

// Each round loads a fresh copy of the server, so every round races for the
// very first factory.
TEST(ServerConcurrency, ConcurrentFirstRequestsShareOneFactory) {
    constexpr int kRounds = 6;
    constexpr int kThreads = 8;
    for (int round = 0; round < kRounds; ++round) {
        const std::wstring path = CopyServer(TempFolder() + L"\\brell-race-" + std::to_wstring(round));
        ASSERT_FALSE(path.empty());
        ServerDll dll(path);
        ASSERT_TRUE(dll.ok());
        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<RaceSlot> slots(kThreads, RaceSlot{start, dll.DllGetClassObject, nullptr, E_FAIL});
        std::vector<HANDLE> threads;
        for (auto& slot : slots) {
            HANDLE t = CreateThread(nullptr, 0, AskForFactory, &slot, 0, nullptr);
            ASSERT_NE(nullptr, t);
            threads.push_back(t);
        }
        SetEvent(start);
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
        for (HANDLE t : threads) CloseHandle(t);
        CloseHandle(start);
        for (auto& slot : slots) {
            EXPECT_EQ(S_OK, slot.hr);
            EXPECT_EQ(slots[0].factory, slot.factory);
        }
        EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());
        for (auto& slot : slots) {
            if (slot.factory) slot.factory->Release();
        }
        EXPECT_EQ(S_OK, dll.DllCanUnloadNow());
    }
}

}  // namespace
