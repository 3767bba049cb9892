// The COM runtime as the system uses it: per-thread error information, activation through
// registered class factories, and OleRun.  Run under Wine too, where the real runtime
// answers, so the POSIX runtime is held to the same behaviour.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include "support/CountingErrorInfo.h"
#include "support/CountingObject.h"

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM bases have no destructor; these are final

// A class factory whose instances are one CountingDispatch.
class FakeFactory final : public IClassFactory {
public:
    FakeFactory() = default;
    FakeFactory(const FakeFactory&) = delete;
    FakeFactory& operator=(const FakeFactory&) = delete;
    ~FakeFactory() { EXPECT_EQ(refs_, 1u); }

    ULONG Refs() const { return refs_; }
    CountingDispatch product;
    HRESULT createStatus = S_OK;
    int creations = 0;
    IID askedFor{};

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory)) {
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
        ++creations;
        askedFor = iid;
        *object = nullptr;
        return FAILED(createStatus) ? createStatus : product.QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ULONG refs_ = 1;
};

#pragma GCC diagnostic pop

const CLSID kTestClass = {0x2F6E1A9C, 0x51D4, 0x4B8E, {0x8C, 0x33, 0x6A, 0x0B, 0x5E, 0x91, 0xD2, 0x47}};

class ComThread : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

using ErrorInformation = ComThread;

TEST_F(ErrorInformation, IsHandedOutOnceWithTheThreadsReference) {
    CountingErrorInfo info(1, 1);
    ASSERT_EQ(SetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(info.Refs(), 2u);

    IErrorInfo* fetched = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &fetched), S_OK);
    EXPECT_EQ(fetched, &info);
    EXPECT_EQ(info.Refs(), 2u) << "the thread's reference passes to the caller";
    fetched->Release();

    fetched = &info;
    EXPECT_EQ(GetErrorInfo(0, &fetched), S_FALSE);
    EXPECT_EQ(fetched, nullptr);
}

TEST_F(ErrorInformation, StoringReplacesAndReleasesTheOldObject) {
    CountingErrorInfo first(1, 1);
    CountingErrorInfo second(1, 1);
    ASSERT_EQ(SetErrorInfo(0, &first), S_OK);
    ASSERT_EQ(SetErrorInfo(0, &second), S_OK);
    EXPECT_EQ(first.Refs(), 1u);
    EXPECT_EQ(second.Refs(), 2u);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(second.Refs(), 1u);
}

using ClassRegistration = ComThread;

TEST_F(ClassRegistration, CreatesThroughTheRegisteredFactoryUntilRevoked) {
    FakeFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);

    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, 7, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(object, factory.product.Unknown());
    EXPECT_EQ(factory.creations, 1);
    EXPECT_TRUE(IsEqualGUID(factory.askedFor, IID_IUnknown));
    EXPECT_EQ(factory.product.Refs(), 2u);
    object->Release();

    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.Refs(), 1u) << "the registration's reference is given back";
    object = factory.product.Unknown();
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, 7, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_TRUE(FAILED(CoRevokeClassObject(cookie)));
}

TEST_F(ClassRegistration, FactoryFailureReachesTheCaller) {
    FakeFactory factory;
    factory.createStatus = E_OUTOFMEMORY;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    IUnknown* object = factory.product.Unknown();
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, 7, IID_IUnknown, reinterpret_cast<void**>(&object)),
              E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
}

TEST(Activation, NeedsComOnTheThread) {
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, 7, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
}

TEST(Initialization, CountsPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

using Running = ComThread;

TEST_F(Running, ObjectWithoutIRunnableObjectIsRunning) {
    CountingDispatch object;
    EXPECT_EQ(OleRun(object.Unknown()), S_OK);
    EXPECT_EQ(object.Asked(IID_IRunnableObject), 1);
    EXPECT_EQ(object.runs, 0);
}

TEST_F(Running, RunnableObjectIsStartedAndItsAnswerReturned) {
    for (const HRESULT run : {S_OK, E_FAIL}) {
        CountingDispatch object;
        object.Answer(IID_IRunnableObject, S_OK);
        object.runStatus = run;
        EXPECT_EQ(OleRun(object.Unknown()), run);
        EXPECT_EQ(object.runs, 1);
        EXPECT_EQ(object.Refs(), 1u);
    }
}

}  // namespace
