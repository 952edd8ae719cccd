/*
 * zelsim_devices.h - what the board simulator makes of the device, pipe and
 * enumeration parameters: the simulated board's device types, open flags,
 * state bits and logical device types. docs/simulator.md tells the whole
 * story.
 */
#ifndef ZELSIM_DEVICES_H
#define ZELSIM_DEVICES_H

/* The simulator has one board; its number goes in nParam1 of the
 * enumeration, open and device-handle requests. */
#define ZELSIM_BOARD 0u

/* Device types, as ZelDrvEnumDeviceType returns them and as nParam2 of
 * ZelDrvEnumDevice, ZelDrvOpenPhysicalDevice(Ex) and ZelDrvGetDeviceHandle
 * takes them. The device value that ZelDrvEnumDevice returns is the device's
 * number within its type, counted from 0. */
#define ZELSIM_DEVTYPE_BOARD 1u /* the board itself: 1 device, no time slots */
#define ZELSIM_DEVTYPE_E1 2u    /* E1 trunk ports: 2 devices, 256 slots (2048 kbit/s) */
#define ZELSIM_DEVTYPE_T1 3u    /* T1 trunk ports: 2 devices, 192 slots (1536 kbit/s) */
#define ZELSIM_DEVTYPE_FXS 4u   /* analog station ports: 8 devices, 8 slots (64 kbit/s) */
#define ZELSIM_DEVTYPE_FXO 5u   /* analog exchange ports: 8 devices, 8 slots (64 kbit/s) */
#define ZELSIM_DEVTYPE_DSP 6u   /* DSP resources: 2 devices, 1024 slots */
#define ZELSIM_DEVTYPE_CTBUS 7u /* the CT bus: 1 device, 4096 slots */

/* nParam4 of ZelDrvOpenPhysicalDevice. An exclusive open fails while the
 * device is open at all; shared opens may be repeated, return the same
 * handle and count: the device closes with the last ZelDrvClose. */
#define ZELSIM_OPEN_EXCLUSIVE 0u
#define ZELSIM_OPEN_SHARED 1u

/* The state word of ZelDrvGetState. */
#define ZELSIM_STATE_OPEN 0x1u      /* always set for a live object */
#define ZELSIM_STATE_ENABLED 0x2u   /* enabled, until disabled or reset */
#define ZELSIM_STATE_CONNECTED 0x4u /* time slots connected, board on the CT bus, or in an object connection */
#define ZELSIM_STATE_SHARED 0x8u    /* a physical device opened shared */

/* Logical device types: nParam2 of ZelDrvCreateLogicalDevice. */
#define ZELSIM_LDTYPE_RAW_DATA 1u
#define ZELSIM_LDTYPE_DTMF_DETECTOR 2u
#define ZELSIM_LDTYPE_TONE_GENERATOR 3u
#define ZELSIM_LDTYPE_HDLC 4u
#define ZELSIM_LDTYPE_ECHO_CANCELLER 5u

/* One bit of a time-slot mask is one time slot of 8 kbit/s; bit 0 of byte 0
 * is slot 0. A 64 kbit/s voice channel takes 8 slots. */
#define ZELSIM_SLOT_KBITS 8u
#define ZELSIM_MAX_SLOTS 4096u

#endif /* ZELSIM_DEVICES_H */
