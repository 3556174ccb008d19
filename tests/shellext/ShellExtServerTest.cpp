// The library as a COM server: the class factory, the lock count, the data
// object a handler holds, and the language resources shared by the living
// handlers.
#include <gtest/gtest.h>

#include "ExtensionHost.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

class ShellExtServer : public ::testing::Test {
protected:
    ComApartment apartment;
    ExtensionCopy extension;
    void SetUp() override { ASSERT_TRUE(extension.module()) << "build SorvaneExt first"; }
};

TEST_F(ShellExtServer, ClassFactoryRefusesAggregationAndUnknownClasses)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(extension.getClassObject(IID_IClassFactory, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(extension.getClassObject(kExtensionClassId, IID_IDataObject, &object), E_NOINTERFACE);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(extension.getClassObject(kExtensionClassId, IID_IClassFactory, factory.putVoid()), S_OK);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(extension.getClassObject(kExtensionClassId, IID_IUnknown, outer.putVoid()), S_OK);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ShellExtServer, CanUnloadOnlyWithoutObjectsFactoriesOrLocks)
{
    EXPECT_EQ(extension.canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(extension.getClassObject(kExtensionClassId, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(extension.canUnloadNow(), S_FALSE);
    ComPtr<IContextMenu> handler;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, handler.putVoid()), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(extension.canUnloadNow(), S_FALSE); // a handler and a lock
    handler.reset();
    EXPECT_EQ(extension.canUnloadNow(), S_FALSE); // the lock
    ASSERT_EQ(extension.getClassObject(kExtensionClassId, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(extension.canUnloadNow(), S_FALSE); // the factory
    factory.reset();
    EXPECT_EQ(extension.canUnloadNow(), S_OK);
    // A failed creation leaves nothing alive.
    ASSERT_EQ(extension.getClassObject(kExtensionClassId, IID_IClassFactory, factory.putVoid()), S_OK);
    void* object = nullptr;
    factory->CreateInstance(nullptr, IID_IStream, &object);
    factory.reset();
    EXPECT_EQ(extension.canUnloadNow(), S_OK);
}

TEST_F(ShellExtServer, HandlerHoldsTheDataObjectOnlyWhileItLives)
{
    ComPtr<DropData> first = DropData::make({L"C:\\x\\a"});
    ComPtr<DropData> second = DropData::make({L"C:\\x\\b"});
    {
        ComPtr<IContextMenu3> handler = extension.createHandler(first.get());
        ASSERT_TRUE(handler);
        EXPECT_EQ(first->references(), 2);
        ComPtr<IShellExtInit> init;
        ASSERT_EQ(handler->QueryInterface(IID_IShellExtInit, init.putVoid()), S_OK);
        EXPECT_EQ(init->Initialize(nullptr, second.get(), nullptr), S_OK);
        EXPECT_EQ(first->references(), 1);
        EXPECT_EQ(second->references(), 2);
    }
    EXPECT_EQ(second->references(), 1);
    EXPECT_EQ(DropData::outstandingMedia(), 0);
}

// Run once in English and once in Japanese (LC_ALL): with Sorvane.0411 beside
// the library a Japanese interface takes its texts from there, for as long as
// any handler lives; an English one never loads it.
TEST(ShellExtLanguage, SharedLanguageLibraryLivesAsLongAsTheLastHandler)
{
    ComApartment apartment;
    ExtensionCopy extension(true, programFolder() + L"shellext_langlib.dll");
    ASSERT_TRUE(extension.module());
    const bool japanese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
    const std::wstring library = extension.folder() + L"Sorvane.0411";
    auto helpText = [](IContextMenu3* handler) {
        wchar_t text[128] = {};
        handler->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(text), 128);
        return std::wstring(text);
    };
    const std::wstring expected = japanese ? L"選択したファイル/フォルダをフィルタリング条件で コピーします。"
                                           : L"Copy selected folders/files by filtering condition.";

    ComPtr<IContextMenu3> first = extension.createHandler(nullptr);
    ComPtr<IContextMenu3> second = extension.createHandler(nullptr);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(helpText(first.get()), expected);
    EXPECT_EQ(::GetModuleHandleW(library.c_str()) != nullptr, japanese);
    first.reset();
    // The other handler still reads its texts from the library.
    EXPECT_EQ(helpText(second.get()), expected);
    EXPECT_EQ(::GetModuleHandleW(library.c_str()) != nullptr, japanese);
    second.reset();
    EXPECT_EQ(::GetModuleHandleW(library.c_str()), nullptr);
    // A new handler loads it again.
    ComPtr<IContextMenu3> third = extension.createHandler(nullptr);
    ASSERT_TRUE(third);
    EXPECT_EQ(helpText(third.get()), expected);
    EXPECT_EQ(::GetModuleHandleW(library.c_str()) != nullptr, japanese);
}

} // namespace
