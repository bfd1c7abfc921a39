#pragma once

#include <objc/runtime.h>

namespace QV::GP::OBJC {

// Builds one Objective-C class at run time into a caller's class variable,
// under a name that is unique in the process: the wanted name when it is free,
// else the name followed by a four-digit counter (QVCocoaView0001, ...).
//
// Use: a static class variable and one static factory per class; the factory
// is constructed, then generateUniqueClass (stop when it fails), addProtocol,
// addMemberVar and addMethod as needed, and doRegister. A class that cannot be
// allocated or registered is reported on the standard error stream with its
// name, and the class variable stays nil.
//
// With GCC's runtime a registered class cannot be disposed of: the destructor
// then only clears the class variable. A pair that was never registered is
// disposed of.
//
// Thread affinity: build classes on one thread, before other threads use them.
class ClassFactory
{
public:
    explicit ClassFactory(objc_class*& classSlot) noexcept : m_class(classSlot) {}
    ~ClassFactory();

    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    // True when a class pair was allocated into the class variable.
    bool generateUniqueClass(const char* name, const char* superclassName);

    // Each is true when the runtime accepted the addition; false as well
    // before a class was allocated.
    bool addProtocol(const char* protocolName);
    bool addMemberVar(const char* name, unsigned long size, unsigned char alignmentLog2,
                      const char* typeEncoding);
    bool addMethod(SEL selector, IMP implementation, const char* typeEncoding);

    // Registers the class; objects may be created from then on. When the
    // runtime does not take it, the pair is disposed of and the variable set
    // to nil.
    void doRegister();

    // The built class's name; null before a class was built.
    const char* getClassName() const;

private:
    objc_class*& m_class;
    bool m_registered = false;
};

} // namespace QV::GP::OBJC
