#include <QV/GP/OBJC/ClassFactory.h>

#include <cstdio>
#include <string>

namespace QV::GP::OBJC {

namespace {

void report(const char* name, const char* why)
{
    std::fprintf(stderr, "run-time class %s: %s\n", name ? name : "(no name)", why);
}

} // namespace

ClassFactory::~ClassFactory()
{
    if (m_class && !m_registered)
        objc_disposeClassPair(m_class);
    m_class = Nil;
}

bool ClassFactory::generateUniqueClass(const char* name, const char* superclassName)
{
    if (m_class) {
        report(name, "this factory has built its class already");
        return false;
    }
    if (!name || !*name) {
        report(name, "cannot be built without a name");
        return false;
    }
    // Without its superclass the runtime would build a root class, which no
    // user of the factory wants.
    Class superclass = superclassName ? objc_getClass(superclassName) : Nil;
    if (superclass == Nil) {
        report(name, (std::string("superclass ") + (superclassName ? superclassName : "(none)") + " not found").c_str());
        return false;
    }
    std::string candidate = name;
    for (long counter = 1; objc_lookUpClass(candidate.c_str()) != Nil; ++counter) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%04ld", counter);
        candidate = std::string(name) + suffix;
    }
    m_class = objc_allocateClassPair(superclass, candidate.c_str(), 0);
    if (m_class == Nil)
        report(candidate.c_str(), "the runtime refused to allocate it");
    return m_class != Nil;
}

bool ClassFactory::addProtocol(const char* protocolName)
{
    if (m_class == Nil || m_registered || !protocolName)
        return false;
    Protocol* protocol = objc_getProtocol(protocolName);
    return protocol && class_addProtocol(m_class, protocol);
}

bool ClassFactory::addMemberVar(const char* name, unsigned long size, unsigned char alignmentLog2,
                                const char* typeEncoding)
{
    if (m_class == Nil || m_registered)
        return false;
    return class_addIvar(m_class, name, size, alignmentLog2, typeEncoding);
}

bool ClassFactory::addMethod(SEL selector, IMP implementation, const char* typeEncoding)
{
    if (m_class == Nil)
        return false;
    return class_addMethod(m_class, selector, implementation, typeEncoding);
}

void ClassFactory::doRegister()
{
    if (m_class == Nil || m_registered)
        return;
    objc_registerClassPair(m_class);
    // The runtime's registration answers nothing; a class it took can be
    // found by its name.
    const std::string name = class_getName(m_class);
    if (objc_lookUpClass(name.c_str()) == m_class) {
        m_registered = true;
        return;
    }
    report(name.c_str(), "the runtime refused to register it");
    objc_disposeClassPair(m_class);
    m_class = Nil;
}

const char* ClassFactory::getClassName() const
{
    return m_class != Nil ? class_getName(m_class) : nullptr;
}

} // namespace QV::GP::OBJC
