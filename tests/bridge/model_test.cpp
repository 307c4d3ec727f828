// The Model COM object in-process: interface map, aggregation, class
// object, argument conversion and failure reporting, with a recording
// controller in place of the application; and the module's end of the
// server, after the last release or when idle.
#include "BridgeModule.h"
#include "Controller.h"
#include "ModelArguments.h"
#include "ModelClassFactory.h"
#include "ModelObject.h"
#include "StavaAutomationBridge_h.h"

#include <gtest/gtest.h>
#include <ocidl.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// IDispatchEx, which script hosts probe for (not in the import library).
const IID kDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};

// Records every call as text; throws `failure` when one is set.
class RecordingController final : public BridgeController {
public:
    std::vector<std::string> calls;
    std::int32_t nextNumber = 7;
    bool throwControllerError = false;
    bool throwOther = false;

    void resetApp() override { record("resetApp"); }
    void lock() override { record("lock"); }
    void unlock() override { record("unlock"); }
    std::int32_t addNode(double x, double z) override {
        record("addNode " + std::to_string(x) + " " + std::to_string(z));
        return nextNumber;
    }
    std::int32_t addEBBeam(std::int32_t n1, std::int32_t n2) override {
        record("addEBBeam " + std::to_string(n1) + " " + std::to_string(n2));
        return nextNumber;
    }
    std::int32_t addTruss(std::int32_t n1, std::int32_t n2) override {
        record("addTruss " + std::to_string(n1) + " " + std::to_string(n2));
        return nextNumber;
    }
    void setConstraints(std::int32_t n, bool cX, bool cZ, bool cR) override {
        record("setConstraints " + std::to_string(n) + flags({cX, cZ, cR}));
    }
    void setForces(std::int32_t n, double fx, double fz, double m) override {
        record("setForces " + std::to_string(n) + " " + std::to_string(fx) + " " +
               std::to_string(fz) + " " + std::to_string(m));
    }
    void setNodeLabel(std::int32_t n, const char* label) override {
        record("setNodeLabel " + std::to_string(n) + " [" + label + "]");
    }
    void setBeamLabel(std::int32_t b, const char* label) override {
        record("setBeamLabel " + std::to_string(b) + " [" + label + "]");
    }
    void setEBBeamHinges(std::int32_t b, bool hiN, bool hiV, bool hiM, bool hkN, bool hkV,
                         bool hkM) override {
        record("setEBBeamHinges " + std::to_string(b) + flags({hiN, hiV, hiM, hkN, hkV, hkM}));
    }
    void setEBBeamLoads(std::int32_t b, double vi, double vk, double ni, double nk) override {
        record("setEBBeamLoads " + std::to_string(b) + " " + std::to_string(vi) + " " +
               std::to_string(vk) + " " + std::to_string(ni) + " " + std::to_string(nk));
    }
    void setEBBeamSectionalVals(std::int32_t beam, double ei, double ea) override {
        record("setEBBeamSectionalVals " + std::to_string(beam) + " " + std::to_string(ei) +
               " " + std::to_string(ea));
    }
    void setTrussSectionalVals(std::int32_t truss, double ea) override {
        record("setTrussSectionalVals " + std::to_string(truss) + " " + std::to_string(ea));
    }

private:
    static std::string flags(std::initializer_list<bool> values) {
        std::string out;
        for (bool v : values)
            out += v ? " T" : " F";
        return out;
    }
    void record(const std::string& call) {
        calls.push_back(call);
        if (throwControllerError)
            throw ControllerError(static_cast<std::int32_t>(0x80010108), "application gone");
        if (throwOther)
            throw std::runtime_error("broken");
    }
};

// A BSTR owned by the test.
class Bstr {
public:
    explicit Bstr(const wchar_t* text, UINT length) : text_(SysAllocStringLen(text, length)) {}
    ~Bstr() { SysFreeString(text_); }
    BSTR get() const { return text_; }

private:
    BSTR text_;
};

// A minimal outer object for aggregation: counts its own references.
class Outer final : public IUnknown {
public:
    ULONG count = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
};

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        TheModule().init(GetModuleHandleA(nullptr), GetCurrentThreadId());
        ASSERT_EQ(S_OK, ModelClassFactory::Create(IID_IClassFactory,
                                                  reinterpret_cast<void**>(&factory)));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IModel,
                                                reinterpret_cast<void**>(&model)));
    }
    void TearDown() override {
        SetProcessController(nullptr);
        if (model != nullptr)
            model->Release();
        factory->Release();
        EXPECT_EQ(0, TheModule().lockCount());
        // The module posts WM_QUIT when its count drops to zero; drain it.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        SetErrorInfo(0, nullptr);
        CoUninitialize();
    }

    // The error information set by the last call: source and description.
    static std::pair<std::wstring, std::wstring> TakeErrorInfo(GUID* guid) {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK || info == nullptr)
            return {};
        BSTR source = nullptr;
        BSTR description = nullptr;
        info->GetSource(&source);
        info->GetDescription(&description);
        info->GetGUID(guid);
        info->Release();
        std::pair<std::wstring, std::wstring> result(source ? source : L"",
                                                     description ? description : L"");
        SysFreeString(source);
        SysFreeString(description);
        return result;
    }

    IClassFactory* factory = nullptr;
    IModel* model = nullptr;
    RecordingController controller;
};

TEST_F(ModelTest, InterfaceMapAnswersTheDualInterfaceAsIdentity) {
    IUnknown* unknown = nullptr;
    IDispatch* dispatch = nullptr;
    ISupportErrorInfo* errorInfo = nullptr;
    ASSERT_EQ(S_OK, model->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    ASSERT_EQ(S_OK, model->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    ASSERT_EQ(S_OK, model->QueryInterface(IID_ISupportErrorInfo,
                                          reinterpret_cast<void**>(&errorInfo)));
    EXPECT_EQ(static_cast<void*>(model), static_cast<void*>(unknown));
    EXPECT_EQ(static_cast<void*>(model), static_cast<void*>(dispatch));
    EXPECT_NE(static_cast<void*>(model), static_cast<void*>(errorInfo));
    EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_IModel));
    EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch));
    errorInfo->Release();
    dispatch->Release();
    unknown->Release();

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, model->QueryInterface(IID_IClassFactory, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_NOINTERFACE, model->QueryInterface(kDispatchEx, &other));
    EXPECT_EQ(E_NOINTERFACE, model->QueryInterface(IID_IObjectWithSite, &other));
    EXPECT_EQ(E_POINTER, model->QueryInterface(IID_IModel, nullptr));
}

TEST_F(ModelTest, ReferenceCountAndModuleLock) {
    EXPECT_EQ(1, TheModule().lockCount());
    EXPECT_EQ(2u, model->AddRef());
    EXPECT_EQ(1u, model->Release());
    IModel* second = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch,
                                            reinterpret_cast<void**>(&second)));
    EXPECT_EQ(2, TheModule().lockCount());
    EXPECT_EQ(0u, second->Release());
    EXPECT_EQ(1, TheModule().lockCount());
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(2, TheModule().lockCount());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(1, TheModule().lockCount());
}

TEST_F(ModelTest, ClassFactoryRefusals) {
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IModel, nullptr));
    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IModel, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(1);
    // The short-lived object raised and lowered the lock count.
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, TheModule().lockCount());
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IModel, &out));
}

TEST_F(ModelTest, AggregatedObjectDelegatesToTheOuterObject) {
    Outer outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown,
                                            reinterpret_cast<void**>(&inner)));
    EXPECT_EQ(2, TheModule().lockCount());
    IUnknown* innerAgain = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)));
    EXPECT_EQ(inner, innerAgain);
    EXPECT_EQ(1u, innerAgain->Release());

    IModel* aggregated = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IModel, reinterpret_cast<void**>(&aggregated)));
    EXPECT_EQ(2u, outer.count);  // the reference went to the outer object
    void* viaOuter = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, aggregated->QueryInterface(IID_IModel, &viaOuter));
    aggregated->Release();
    EXPECT_EQ(1u, outer.count);

    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(1, TheModule().lockCount());
}

TEST_F(ModelTest, WithoutControllerEveryMethodSucceedsAndStoresZero) {
    LONG result = 99;
    EXPECT_EQ(S_OK, model->addNode(1.5, -2.0, &result));
    EXPECT_EQ(0, result);
    result = 99;
    EXPECT_EQ(S_OK, model->addEBBeam(1, 2, &result));
    EXPECT_EQ(0, result);
    result = 99;
    EXPECT_EQ(S_OK, model->addTruss(1, 2, &result));
    EXPECT_EQ(0, result);
    result = 99;
    EXPECT_EQ(S_OK, model->isValid(&result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(S_OK, model->setNodeLabel(1, nullptr));
    EXPECT_EQ(S_OK, model->lock());
    EXPECT_EQ(S_OK, model->isValid(nullptr));
    EXPECT_EQ(S_OK, model->addNode(1, 2, nullptr));
}

TEST_F(ModelTest, CallsAreForwardedWithConvertedArguments) {
    SetProcessController(&controller);
    LONG result = 0;
    EXPECT_EQ(S_OK, model->isValid(&result));
    EXPECT_EQ(1, result);
    EXPECT_EQ(S_OK, model->addNode(1.5, -2.0, &result));
    EXPECT_EQ(7, result);
    controller.nextNumber = 12;
    EXPECT_EQ(S_OK, model->addEBBeam(3, 4, nullptr));  // made although nothing is stored
    EXPECT_EQ(S_OK, model->addTruss(5, 6, &result));
    EXPECT_EQ(12, result);
    EXPECT_EQ(S_OK, model->setConstraints(2, -1, 0, 2));
    EXPECT_EQ(S_OK, model->setEBBeamHinges(9, 0, 1, -1, 0, 0, 100));
    EXPECT_EQ(S_OK, model->setForces(1, 0.5, -0.25, 3));
    EXPECT_EQ(S_OK, model->setEBBeamLoads(2, 1, 2, 3, 4));
    EXPECT_EQ(S_OK, model->setEBBeamSectionalVals(2, 21000, 0.5));
    EXPECT_EQ(S_OK, model->setTrussSectionalVals(3, 0.75));
    EXPECT_EQ(S_OK, model->lock());
    EXPECT_EQ(S_OK, model->unlock());
    EXPECT_EQ(S_OK, model->resetApp());
    const std::vector<std::string> expected = {
        "addNode 1.500000 -2.000000",
        "addEBBeam 3 4",
        "addTruss 5 6",
        "setConstraints 2 T F T",
        "setEBBeamHinges 9 F T T F F T",
        "setForces 1 0.500000 -0.250000 3.000000",
        "setEBBeamLoads 2 1.000000 2.000000 3.000000 4.000000",
        "setEBBeamSectionalVals 2 21000.000000 0.500000",
        "setTrussSectionalVals 3 0.750000",
        "lock",
        "unlock",
        "resetApp",
    };
    EXPECT_EQ(expected, controller.calls);
}

TEST_F(ModelTest, LabelsAreCutAtTheFirstNulAndNullIsEmpty) {
    SetProcessController(&controller);
    const Bstr abc(L"abc", 3);
    const Bstr empty(L"", 0);
    const Bstr embedded(L"ab\0cd", 5);
    EXPECT_EQ(S_OK, model->setNodeLabel(1, abc.get()));
    EXPECT_EQ(S_OK, model->setNodeLabel(2, empty.get()));
    EXPECT_EQ(S_OK, model->setBeamLabel(3, nullptr));
    EXPECT_EQ(S_OK, model->setBeamLabel(4, embedded.get()));
    const std::vector<std::string> expected = {"setNodeLabel 1 [abc]", "setNodeLabel 2 []",
                                               "setBeamLabel 3 []", "setBeamLabel 4 [ab]"};
    EXPECT_EQ(expected, controller.calls);
}

// The application's ORB reads strings as ISO-8859-1, whatever the code page
// of the Windows that the bridge runs on.
TEST_F(ModelTest, LabelsArriveInIso8859_1) {
    SetProcessController(&controller);
    const struct {
        const wchar_t* label;
        const char* arrives;
    } cases[] = {
        {L"Tr\u00e4ger", "Tr\xe4ger"},
        {L"\u00c4\u00d6\u00dc\u00fc\u00df\u00ff", "\xc4\xd6\xdc\xfc\xdf\xff"},
        // Not in ISO-8859-1: Windows' plain equivalent where it has one,
        // else "?", one for each character.
        {L"1\u20132", "1-2"},
        {L"\u201cx\u201d", "\"x\""},
        {L"\u20ac 5", "? 5"},
        {L"\u0416\u0416", "??"},
        {L"\u65e5\u672c", "??"},
    };
    std::vector<std::string> expected;
    LONG n = 1;
    for (const auto& c : cases) {
        const Bstr label(c.label, lstrlenW(c.label));
        EXPECT_EQ(S_OK, model->setNodeLabel(n, label.get())) << c.arrives;
        expected.push_back("setNodeLabel " + std::to_string(n++) + " [" + c.arrives + "]");
    }
    EXPECT_EQ(expected, controller.calls) << "ANSI code page " << GetACP();
}

// A conversion that fails is a failure, never an empty label sent as success.
TEST(NarrowText, FailedConversionThrowsWithTheWindowsError) {
    const Bstr label(L"abc", 3);
    const UINT noSuchCodePage = 12345;
    try {
        const std::string text = NarrowText(label.get(), noSuchCodePage);
        ADD_FAILURE() << "converted to [" << text << "]";
    } catch (const ControllerError& e) {
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), e.hresult()) << e.what();
        EXPECT_NE(nullptr, std::strstr(e.what(), "code page 12345")) << e.what();
    }
}

TEST_F(ModelTest, ControllerFailureBecomesResultAndErrorInfo) {
    SetProcessController(&controller);
    controller.throwControllerError = true;
    LONG result = 99;
    EXPECT_EQ(static_cast<HRESULT>(0x80010108), model->addNode(1, 2, &result));
    EXPECT_EQ(0, result);
    GUID guid = GUID_NULL;
    const auto [source, description] = TakeErrorInfo(&guid);
    EXPECT_EQ(L"StavaAutomationBridge.Model.addNode", source);
    EXPECT_EQ(L"application gone", description);
    EXPECT_TRUE(IsEqualGUID(guid, IID_IModel));

    controller.throwControllerError = false;
    controller.throwOther = true;
    EXPECT_EQ(E_FAIL, model->setTrussSectionalVals(1, 2));
    const auto [source2, description2] = TakeErrorInfo(&guid);
    EXPECT_EQ(L"StavaAutomationBridge.Model.setTrussSectionalVals", source2);
    EXPECT_EQ(L"broken", description2);

    // The object keeps serving after failures.
    controller.throwOther = false;
    EXPECT_EQ(S_OK, model->addNode(1, 2, &result));
    EXPECT_EQ(7, result);
}

TEST_F(ModelTest, DispatchWithoutRegisteredTypeLibraryFails) {
    UINT count = 0;
    EXPECT_EQ(S_OK, model->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(E_POINTER, model->GetTypeInfo(0, 0, nullptr));
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    const HRESULT hr = model->GetTypeInfo(0, 0, &info);
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, hr);  // the loader's code, passed on
    EXPECT_EQ(nullptr, info);
}

// True if the module posted WM_QUIT to this thread; takes it.
bool TakeQuit() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

TEST_F(ModelTest, AfterTheLastReleaseNoNewObjectOrLock) {
    EXPECT_EQ(0u, model->Release());
    model = nullptr;
    EXPECT_TRUE(TheModule().stopping());
    EXPECT_TRUE(TakeQuit());
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CO_E_SERVER_STOPPING, factory->CreateInstance(nullptr, IID_IModel, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(CO_E_SERVER_STOPPING, factory->LockServer(TRUE));
    EXPECT_EQ(0, TheModule().lockCount());
    EXPECT_FALSE(TakeQuit());
}

// The idle end of a server that COM started, driven by hand instead of by
// the message loop's timer.
class IdleEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        TheModule().init(GetModuleHandleA(nullptr), GetCurrentThreadId());
        ASSERT_EQ(S_OK, ModelClassFactory::Create(IID_IClassFactory,
                                                  reinterpret_cast<void**>(&factory)));
    }
    void TearDown() override {
        factory->Release();
        EXPECT_EQ(0, TheModule().lockCount());
        while (TakeQuit()) {
        }
        CoUninitialize();
    }

    IClassFactory* factory = nullptr;
};

TEST_F(IdleEndTest, AServerNeverAskedEndsAtTheFirstCheck) {
    EXPECT_FALSE(TheModule().stopping());
    EXPECT_TRUE(TheModule().endIfIdle());
    EXPECT_TRUE(TheModule().stopping());
    EXPECT_TRUE(TakeQuit());
    EXPECT_FALSE(TheModule().endIfIdle());
    EXPECT_FALSE(TakeQuit());
}

TEST_F(IdleEndTest, ARequestPutsTheEndOffByAPeriod) {
    Outer outer;
    void* out = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IModel, &out));
    EXPECT_FALSE(TheModule().endIfIdle());
    EXPECT_FALSE(TheModule().stopping());
    EXPECT_FALSE(TakeQuit());
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IModel, nullptr));
    EXPECT_FALSE(TheModule().endIfIdle());
    EXPECT_FALSE(TakeQuit());
    EXPECT_TRUE(TheModule().endIfIdle());
    EXPECT_TRUE(TakeQuit());
}

TEST_F(IdleEndTest, ALockOrALiveObjectKeepsTheServer) {
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    IModel* model = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IModel,
                                            reinterpret_cast<void**>(&model)));
    for (int period = 0; period < 3; ++period)
        EXPECT_FALSE(TheModule().endIfIdle());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_FALSE(TheModule().stopping());
    for (int period = 0; period < 3; ++period)
        EXPECT_FALSE(TheModule().endIfIdle());
    EXPECT_FALSE(TakeQuit());
    // The last release ends the server at once, as without the idle end.
    EXPECT_EQ(0u, model->Release());
    EXPECT_TRUE(TheModule().stopping());
    EXPECT_TRUE(TakeQuit());
}

TEST_F(IdleEndTest, AfterTheIdleEndNoNewObjectOrLock) {
    ASSERT_TRUE(TheModule().endIfIdle());
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CO_E_SERVER_STOPPING, factory->CreateInstance(nullptr, IID_IModel, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(CO_E_SERVER_STOPPING, factory->LockServer(TRUE));
    EXPECT_EQ(0, TheModule().lockCount());
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IModel, nullptr));
    EXPECT_TRUE(TakeQuit());
    EXPECT_FALSE(TakeQuit());
}

}  // namespace
