// Late-bound automation: creating an object by its programmatic identifier and
// calling its members by name through IDispatch, as scripting clients do.
// Nothing here knows what the object is; callers name the members.
#pragma once

#include "platform/ComPtr.h"
#include "platform/ComValues.h"

#include <oaidl.h>

#include <cstdint>
#include <initializer_list>
#include <string>

// One argument of a call by name. It only borrows the value, which must outlive
// the call (a temporary TVariant in the calling expression does).
struct TDispArg {
    TDispArg(const TVariant& value) : Value(value.Get()) {}
    const VARIANT& Value;
};

// A 32-bit integer value, the type automation servers expect for counts and indices.
TVariant VariantFromInteger(int32_t value);

// Creates the object registered under ProgId as an in-process or local server
// and returns its dispatch interface. COM must be initialised on this thread.
// Raises Exception "<system text>, ProgID: "<ProgId>"" when the identifier is
// unknown, the server cannot be started or the object has no dispatch interface.
TComPtr<IDispatch> CreateOleObject(const std::wstring& progId);

// Calls the member Name of Object with Args (in the order written) as a method
// or a property read, and returns its result. Raises Exception when the object
// has no such member or the call fails; the message is the server's own
// description of the failure when it gives one, else the system's text.
TVariant DispatchCall(IDispatch* object, const std::wstring& name, std::initializer_list<TDispArg> args = {});

// DispatchCall whose result must be an object; raises Exception when it is not.
TComPtr<IDispatch> DispatchObject(IDispatch* object, const std::wstring& name,
                                  std::initializer_list<TDispArg> args = {});

// DispatchCall whose result must convert to a 32-bit integer; raises Exception when it does not.
int32_t DispatchInteger(IDispatch* object, const std::wstring& name, std::initializer_list<TDispArg> args = {});
