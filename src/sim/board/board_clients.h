// Whose the board's objects are, when a service shares one board among
// client processes. Without a keeper (the board in the application's own
// process) every queue takes every record, the debug dump shows every
// queue and a closed object concerns nobody.
#pragma once

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
    void *pContext;
};
// nullptr: no keeper. The keeper must stay valid until it is replaced and
// no request is running.
void SetObjectKeeper(const ObjectKeeper *pKeeper);
bool MayReceive(ZEL_HANDLE hQueue, ZEL_HANDLE hObject);
bool VisibleToCaller(ZEL_HANDLE hObject);
void ObjectClosed(ZEL_HANDLE hObject);

}  // namespace zel::sim
