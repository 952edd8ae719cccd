// Whose the board's objects are, when a service shares one board among
// client processes. Without a keeper (the board in the application's own
// process) every queue takes every record, the debug dump shows every
// queue and a closed object concerns nobody.
#pragma once

#include <cstdint>

#include <zel/zel.h>

namespace zel::sim {

// Called under the board's lock: none may call the board or wait for a
// request.
struct ObjectKeeper {
    // May a record about hObject be queued on hQueue? A record about a
    // device is also asked for each pipe connected to it and each logical
    // device it hosts: any yes queues it.
    bool (*pfnMayReceive)(void *pContext, ZEL_HANDLE hQueue, ZEL_HANDLE hObject);
    // May the caller of the request being served see hObject?
    bool (*pfnVisible)(void *pContext, ZEL_HANDLE hObject);
    // The board ended hObject, whoever asked for it and why.
    void (*pfnClosed)(void *pContext, ZEL_HANDLE hObject);
    // Who the request being served is for (not 0); 0 outside a client's
    // request. What a client leaves on a shared object for itself (the
    // last dump's text) is kept apart by it.
    std::uint32_t (*pfnCaller)(void *pContext);
    void *pContext;
};
// nullptr: no keeper. The keeper must stay valid until it is replaced and
// no request is running.
void SetObjectKeeper(const ObjectKeeper *pKeeper);
bool MayReceive(ZEL_HANDLE hQueue, ZEL_HANDLE hObject);
bool VisibleToCaller(ZEL_HANDLE hObject);
void ObjectClosed(ZEL_HANDLE hObject);
// 0 without a keeper.
std::uint32_t Caller();
// The caller has gone: what the board kept for it alone is dropped. Takes
// the board's lock.
void ForgetCaller(std::uint32_t nCaller);

}  // namespace zel::sim
