// Constructors of CKelmRivoMdApi for applications built with the Microsoft
// compiler (Windows only; exported under the Microsoft names by the .def
// file). Both compilers pass `this' in ECX, but a Microsoft constructor also
// returns it in EAX and its callers rely on that; ours return nothing.
extern "C" void __attribute__((thiscall)) KelmGnuConstruct(void* self) __asm__("__ZN14CKelmRivoMdApiC2Ev");
extern "C" void __attribute__((thiscall)) KelmGnuCopyConstruct(void* self, const void* other)
    __asm__("__ZN14CKelmRivoMdApiC2ERKS_");

extern "C" void* __attribute__((thiscall)) KelmMsAbiConstruct(void* self)
{
    KelmGnuConstruct(self);
    return self;
}

extern "C" void* __attribute__((thiscall)) KelmMsAbiCopyConstruct(void* self, const void* other)
{
    KelmGnuCopyConstruct(self, other);
    return self;
}
