#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/GP/OBJC/InstanceVariables.h>

#include "Cocoa/GNUstepHeaders.h"

#include <gtest/gtest.h>

#include <string>

using QV::GP::OBJC::ClassFactory;

@protocol QVTestCounting
- (unsigned)incrementBy:(unsigned)step;
@end

namespace {

// init chains to the superclass of the object's own class, as every built
// class must: its name and place are chosen at run time.
id counterInit(id self, SEL command)
{
    IMP superInit = class_getMethodImplementation(class_getSuperclass(object_getClass(self)), command);
    self = superInit(self, command);
    QV::GP::OBJC::setIvarUInt32(self, "count", 40);
    QV::GP::OBJC::setIvarFloat(self, "scale", 1.5f);
    return self;
}

unsigned counterIncrementBy(id self, SEL, unsigned step)
{
    const unsigned count = QV::GP::OBJC::getIvarUInt32(self, "count") + step;
    QV::GP::OBJC::setIvarUInt32(self, "count", count);
    return count;
}

// Builds an NSObject subclass with variables of every kind the users declare
// and two methods.
// Methods are plain functions of their own signature; the runtime takes them
// as IMP. The detour over void (*)() says the cast is meant.
template <typename Function>
IMP asIMP(Function function)
{
    return reinterpret_cast<IMP>(reinterpret_cast<void (*)()>(function));
}

bool buildCounter(ClassFactory& factory, const char* name)
{
    if (!factory.generateUniqueClass(name, "NSObject"))
        return false;
    factory.addMemberVar("pImpl", sizeof(void*), 3, "^v");
    factory.addMemberVar("bridge", sizeof(id), 3, "@");
    factory.addMemberVar("count", 4, 2, "I");
    factory.addMemberVar("scale", 4, 2, "f");
    factory.addMemberVar("flag", 1, 0, "c");
    factory.addMethod(@selector(init), asIMP(counterInit), "@@:");
    factory.addMethod(@selector(incrementBy:), asIMP(counterIncrementBy), "I@:I");
    factory.doRegister();
    return true;
}

// The users' pattern: a static class variable and a static factory that
// builds the class during static initialisation, before the entry point.
objc_class* s_staticCounterClass = Nil;

struct StaticCounterFactory
{
    StaticCounterFactory() { buildCounter(factory, "QVTestStaticCounter"); }
    ClassFactory factory{s_staticCounterClass};
} s_staticCounterFactory;

TEST(ClassFactory, BuildsClassesBeforeTheEntryPoint)
{
    ASSERT_NE(s_staticCounterClass, Nil);
    id<QVTestCounting> counter = [[(Class)s_staticCounterClass alloc] init];
    EXPECT_EQ([counter incrementBy:3], 43u);
    [(NSObject*)counter release];
}

TEST(ClassFactory, BuildsAClassWhoseObjectsWork)
{
    objc_class* counterClass = Nil;
    {
        ClassFactory factory(counterClass);
        ASSERT_TRUE(buildCounter(factory, "QVTestCounter"));
        ASSERT_NE(counterClass, Nil);
        EXPECT_STREQ(factory.getClassName(), "QVTestCounter");
        // Variables belong before registration.
        EXPECT_FALSE(factory.addMemberVar("late", 4, 2, "I"));

        id<QVTestCounting> counter = [[(Class)counterClass alloc] init];
        ASSERT_NE(counter, nil);
        EXPECT_EQ([counter incrementBy:2], 42u);
        EXPECT_EQ(QV::GP::OBJC::getIvarUInt32(counter, "count"), 42u);
        EXPECT_FLOAT_EQ(QV::GP::OBJC::getIvarFloat(counter, "scale"), 1.5f);

        NSObject* other = [[NSObject alloc] init];
        QV::GP::OBJC::setIvarPtr(counter, "bridge", other);
        QV::GP::OBJC::setIvarPtr(counter, "pImpl", (id)(void*)&counterClass);
        EXPECT_EQ(QV::GP::OBJC::getIvarPtr(counter, "bridge"), other);
        EXPECT_EQ((void*)QV::GP::OBJC::getIvarPtr(counter, "pImpl"), (void*)&counterClass);

        // Missing variables, variables too small for the access and no object
        // read as nothing and take no writes.
        EXPECT_EQ(QV::GP::OBJC::getIvarUInt32(counter, "missing"), 0u);
        EXPECT_EQ(QV::GP::OBJC::getIvarPtr(counter, "missing"), nil);
        QV::GP::OBJC::setIvarUInt32(counter, "flag", 0xffffffff);
        EXPECT_EQ(QV::GP::OBJC::getIvarUInt32(counter, "flag"), 0u);
        EXPECT_EQ(QV::GP::OBJC::getIvarFloat(nil, "scale"), 0.0f);
        [other release];
        [(NSObject*)counter release];
    }
    // The runtime keeps a registered class; only the variable is cleared.
    EXPECT_EQ(counterClass, Nil);
    EXPECT_NE(objc_lookUpClass("QVTestCounter"), Nil);
}

TEST(ClassFactory, TakenNamesGetANumber)
{
    objc_class* classes[3] = {Nil, Nil, Nil};
    ClassFactory first(classes[0]);
    ClassFactory second(classes[1]);
    ClassFactory third(classes[2]);
    ASSERT_TRUE(buildCounter(first, "QVTestUnique"));
    ASSERT_TRUE(buildCounter(second, "QVTestUnique"));
    ASSERT_TRUE(buildCounter(third, "QVTestUnique"));
    EXPECT_STREQ(first.getClassName(), "QVTestUnique");
    EXPECT_STREQ(second.getClassName(), "QVTestUnique0001");
    EXPECT_STREQ(third.getClassName(), "QVTestUnique0002");
    id<QVTestCounting> counter = [[(Class)classes[1] alloc] init];
    EXPECT_EQ([counter incrementBy:1], 41u);
    [(NSObject*)counter release];
}

TEST(ClassFactory, AClassThatCannotBeBuiltIsReportedAndStaysNil)
{
    objc_class* lost = Nil;
    {
        ClassFactory factory(lost);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(factory.generateUniqueClass("QVTestOrphan", "QVNoSuchSuperclass"));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("QVTestOrphan"), std::string::npos) << said;
        EXPECT_EQ(lost, Nil);
        EXPECT_EQ(factory.getClassName(), nullptr);
        EXPECT_FALSE(factory.addMemberVar("count", 4, 2, "I"));
        EXPECT_FALSE(factory.addMethod(@selector(init), asIMP(counterInit), "@@:"));
        factory.doRegister();
    }
    EXPECT_EQ(lost, Nil);
    EXPECT_EQ(objc_lookUpClass("QVTestOrphan"), Nil);
}

TEST(ClassFactory, AnUnregisteredClassIsDisposedOfAndItsNameFreed)
{
    objc_class* draft = Nil;
    {
        ClassFactory factory(draft);
        ASSERT_TRUE(factory.generateUniqueClass("QVTestDraft", "NSObject"));
        EXPECT_FALSE(factory.addProtocol("QVNoSuchProtocol"));
    }
    EXPECT_EQ(draft, Nil);
    objc_class* again = Nil;
    ClassFactory factory(again);
    ASSERT_TRUE(buildCounter(factory, "QVTestDraft"));
    EXPECT_STREQ(factory.getClassName(), "QVTestDraft");
}

} // namespace
