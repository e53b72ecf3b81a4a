// Late-bound automation calls, against a recording dispatch object.
#include "script/automation.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/object_handle.h"
#include "platform/core/text.h"
#include "script/tests/binding_fixture.h"

namespace {

struct RecordedCall {
    std::int32_t DispId = 0;
    std::uint16_t Flags = 0;
    std::vector<Variant> Args;
    std::vector<std::int32_t> NamedArgs;
    bool WantedResult = false;
};

// Knows the members "Visible" (1), "Cells" (2) and "Fail" (3); Fail answers with an exception.
class RecordingDispatch : public IksDispatch {
public:
    std::int32_t GetIDsOfNames(std::u16string_view name, std::uint32_t,
                               std::int32_t& dispId) override {
        static const std::map<std::string, std::int32_t> ids = {
            {"VISIBLE", 1}, {"CELLS", 2}, {"FAIL", 3}};
        auto it = ids.find(AnsiUpperCase(Utf16ToUtf8(name)));
        if (it == ids.end()) return DISP_E_UNKNOWNNAME;
        dispId = it->second;
        return S_OK;
    }
    std::int32_t Invoke(std::int32_t dispId, std::uint32_t, std::uint16_t flags,
                        TksDispParams& params, Variant* result, TksExcepInfo& info) override {
        calls.push_back({dispId, flags, params.Args, params.NamedArgs, result != nullptr});
        if (dispId == 3) {
            info.Source = "Sheet";
            info.Description = "Range is locked";
            return DISP_E_EXCEPTION;
        }
        if (result) *result = Variant("r" + std::to_string(dispId));
        return S_OK;
    }
    std::vector<RecordedCall> calls;
};

class AutomationTest : public ::testing::Test {
protected:
    AutomationTest()
        : fake(std::make_shared<RecordingDispatch>()), object(fake),
          receiver(ObjectToVariant<TObject>(&object)) {}

    // A member step as the tree builder makes it: one Variant parameter per argument.
    std::unique_ptr<TksOLEHelper> Step(const std::string& name, std::vector<Variant> args) {
        auto step = std::make_unique<TksOLEHelper>(name);
        for (const Variant& a : args) {
            auto p = std::make_unique<TksParamItem>("", false, false, "Variant", kvtVariant);
            p->Value = a;
            step->AddParam(std::move(p));
        }
        step->Receiver = receiver;
        return step;
    }

    std::shared_ptr<RecordingDispatch> fake;
    TksAutomationObject object;
    Variant receiver;
};

TEST_F(AutomationTest, MethodCallPassesArgumentsInReverseAndReadsTheResult) {
    auto step = Step("Cells", {Variant(1), Variant("B"), Variant(2.5)});
    const Variant result = step->GetValue();
    EXPECT_EQ(VarToStr(result), "r2");
    ASSERT_EQ(fake->calls.size(), 1u);
    const RecordedCall& c = fake->calls[0];
    EXPECT_EQ(c.DispId, 2);
    EXPECT_EQ(c.Flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    ASSERT_EQ(c.Args.size(), 3u);
    EXPECT_TRUE(VarSameValue(c.Args[0], Variant(2.5)));
    EXPECT_TRUE(VarSameValue(c.Args[1], Variant("B")));
    EXPECT_TRUE(VarSameValue(c.Args[2], Variant(1)));
    EXPECT_TRUE(c.NamedArgs.empty());
    EXPECT_TRUE(c.WantedResult);
}

TEST_F(AutomationTest, CallStatementAsksForNoResult) {
    auto step = Step("Visible", {});
    step->ResultNeeded = false;
    step->GetValue();
    ASSERT_EQ(fake->calls.size(), 1u);
    EXPECT_EQ(fake->calls[0].Flags, DISPATCH_METHOD);
    EXPECT_FALSE(fake->calls[0].WantedResult);
}

TEST_F(AutomationTest, PropertyWritePassesOneNamedArgumentAndTheValueFirst) {
    auto step = Step("Cells", {Variant(1), Variant(2)});
    step->SetValue(Variant("x"));
    ASSERT_EQ(fake->calls.size(), 1u);
    const RecordedCall& c = fake->calls[0];
    EXPECT_EQ(c.Flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(c.NamedArgs, std::vector<std::int32_t>{DISPID_PROPERTYPUT});
    ASSERT_EQ(c.Args.size(), 3u);
    EXPECT_TRUE(VarSameValue(c.Args[0], Variant("x")));
    EXPECT_TRUE(VarSameValue(c.Args[2], Variant(1)));
    EXPECT_FALSE(c.WantedResult);
}

TEST_F(AutomationTest, FailuresRaiseTheOleErrorText) {
    try {
        Step("Colour", {})->GetValue();
        ADD_FAILURE() << "no error";
    } catch (const EOleError& e) {
        EXPECT_EQ(e.Message(), "OLE error 80020006: Colour: Unknown name.");
    }
    // The unknown name is not called with a made-up identifier.
    EXPECT_TRUE(fake->calls.empty());
    try {
        Step("Fail", {})->GetValue();
        ADD_FAILURE() << "no error";
    } catch (const EOleError& e) {
        EXPECT_EQ(e.Message(), "OLE error 80020009: Fail: Exception occurred.\n"
                               "Source        ::  Sheet\n"
                               "Description ::  Range is locked");
    }
}

TEST_F(AutomationTest, ReceiverMustBeAnAutomationObject) {
    auto step = Step("Visible", {});
    step->Receiver = Variant("text");
    EXPECT_THROW(step->GetValue(), EVariantTypeCastError);
    TObject plain;
    step->Receiver = ObjectToVariant<TObject>(&plain);
    EXPECT_THROW(step->GetValue(), EVariantTypeCastError);
    step->Receiver = Variant(0);
    EXPECT_THROW(step->GetValue(), EVariantTypeCastError);
}

TEST_F(AutomationTest, MoreThanSixtyFourArgumentsAreRefused) {
    std::vector<Variant> args(64, Variant(0));
    EXPECT_NO_THROW(Step("Cells", args)->GetValue());
    args.push_back(Variant(0));
    EXPECT_THROW(Step("Cells", args)->GetValue(), EOleError);
    EXPECT_EQ(fake->calls.size(), 1u);
}

// ---- servers by programmatic identifier ----------------------------------------------------

// Registers a recording server for the test's life; every object it makes is kept.
class OleFactoryTest : public BindingFixture {
protected:
    OleFactoryTest() {
        RegisterOleFactory("Lumetra.Recorder", [this]() -> std::shared_ptr<IksDispatch> {
            made.push_back(std::make_shared<RecordingDispatch>());
            return made.back();
        });
    }
    ~OleFactoryTest() override { UnregisterOleFactory("Lumetra.Recorder"); }
    std::vector<std::shared_ptr<RecordingDispatch>> made;
};

void ExpectNotInstalled(const std::string& progId) {
    const std::string message = "Cannot create the automation object \"" + progId +
                                "\": automation is not available on this system";
    try {
        CreateOleObject(progId);
        ADD_FAILURE() << "created " << progId;
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.Message(), message);
    }
    EXPECT_THROW(CreateOleDispatch(progId), EOleSysError);
}

TEST_F(OleFactoryTest, ObjectsOfARegisteredServerAnswerScriptsAndHosts) {
    // The identifier is found without regard to case; every creation is a new object.
    const Variant first = CreateOleObject("lumetra.RECORDER");
    const Variant second = CreateOleObject("Lumetra.Recorder");
    ASSERT_EQ(made.size(), 2u);
    EXPECT_NE(first.AsInteger(), second.AsInteger());
    EXPECT_EQ(VarToStr(ksDispatchCall(second, "Cells", {Variant(1)}, DISPATCH_METHOD, true)), "r2");
    EXPECT_TRUE(made[0]->calls.empty());
    ASSERT_EQ(made[1]->calls.size(), 1u);

    // A script's object reaches the same server.
    const Variant scripted = script.Evaluate("CreateOleObject('Lumetra.Recorder')");
    ASSERT_EQ(made.size(), 3u);
    ksDispatchCall(scripted, "Visible", {Variant(true)}, DISPATCH_PROPERTYPUT, false);
    ASSERT_EQ(made[2]->calls.size(), 1u);
    EXPECT_EQ(made[2]->calls[0].Flags, DISPATCH_PROPERTYPUT);

    // Hosts take the dispatch interface itself.
    const std::shared_ptr<IksDispatch> direct = CreateOleDispatch("LUMETRA.RECORDER");
    ASSERT_EQ(made.size(), 4u);
    EXPECT_EQ(direct, made[3]);

    // Once the server goes, creation fails as if it was never installed, and the objects
    // scripts still hold are stale handles, not dangling ones.
    UnregisterOleFactory("Lumetra.Recorder");
    ExpectNotInstalled("Lumetra.Recorder");
    EXPECT_THROW(ksDispatchCall(first, "Cells", {}, DISPATCH_METHOD, true),
                 EInvalidObjectReference);
}

TEST_F(OleFactoryTest, NoServerOrNoObjectIsTheNotInstalledError) {
    ExpectNotInstalled("Other.Application");
    RegisterOleFactory("Empty.Server", [] { return std::shared_ptr<IksDispatch>(); });
    EXPECT_THROW(CreateOleObject("Empty.Server"), EOleSysError);
    UnregisterOleFactory("Empty.Server");
    ExpectNotInstalled("Empty.Server");
    // Unregistering what is not there does nothing.
    UnregisterOleFactory("Empty.Server");
}

} // namespace
