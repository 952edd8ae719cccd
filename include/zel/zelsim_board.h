/*
 * zelsim_board.h - what the board simulator makes of attributes, driver
 * event queues, registers, driver time and debug dumps: attribute
 * identifiers and types, the event records it posts, the register map, the
 * unit of its time and its dump commands. docs/simulator.md tells the whole
 * story.
 */
#ifndef ZELSIM_BOARD_H
#define ZELSIM_BOARD_H

/* ---------------------------------------------------------------------------
 * Attributes. ZelDrvGetAttributeType reports the type code, the value's
 * current size in bytes and an access word (bit 0 readable, bit 1 writable).
 * ------------------------------------------------------------------------- */
#define ZELSIM_ATTR_TYPE_SZ 0u     /* NUL-terminated string; the size counts the NUL */
#define ZELSIM_ATTR_TYPE_UINT32 1u /* 32-bit unsigned number */
#define ZELSIM_ATTR_TYPE_BOOL 2u   /* 32-bit boolean, stored as 0 or 1 */
#define ZELSIM_ATTR_TYPE_STRUCT 3u /* fixed-layout record */

#define ZELSIM_ATTR_ACCESS_READ 0x1u
#define ZELSIM_ATTR_ACCESS_WRITE 0x2u

/* Physical and logical devices. */
#define ZELSIM_ATTR_DEV_NAME 1u       /* string, read-only: "E1 port 0" */
#define ZELSIM_ATTR_DEV_TYPE 2u       /* 32-bit, read-only: ZELSIM_DEVTYPE_* or ZELSIM_LDTYPE_* */
#define ZELSIM_ATTR_DEV_SERIAL 3u     /* string, read-only: "ZS-0000-0201" */
#define ZELSIM_ATTR_DEV_PORT_COUNT 4u /* 32-bit, read-only: devices of this type on the board */
#define ZELSIM_ATTR_DEV_STATE 5u      /* 32-bit, read-only: the ZelDrvGetState word */
#define ZELSIM_ATTR_DEV_ENABLED 6u    /* bool, read-only */
#define ZELSIM_ATTR_DEV_FIRMWARE 7u   /* record, read-only: four 16-bit fields 1, 4, 0, 7 */
#define ZELSIM_ATTR_DEV_LABEL 8u      /* string, read-write, at most 64 bytes with the NUL */
#define ZELSIM_ATTR_DEV_USER_WORD 13u /* 32-bit, read-write, 0 at power-on */
#define ZELSIM_ATTR_DEV_LOOPBACK 14u  /* bool, read-write, 0 at power-on */
#define ZELSIM_ATTR_DEV_LAST_DUMP 15u /* string, read-only: the text of the last ZelDrvDbgDump */
#define ZELSIM_ATTR_LABEL_MAX 64u

/* Lines, trunks and the board's timer (physical devices of the types named). */
#define ZELSIM_ATTR_LINE_STATE 40u     /* 32-bit, read-only, FXS and FXO: ZELSIM_LINE_* of zelsim_world.h */
#define ZELSIM_ATTR_LINE_HOOK 41u      /* bool, read-write, FXO: 1 off-hook (answers a ringing line), 0 on-hook */
#define ZELSIM_ATTR_LINE_RING 42u      /* bool, read-write, FXS: 1 rings the telephone, 0 stops */
#define ZELSIM_ATTR_LINE_CALLER_ID 43u /* string, read-only, FXO: the caller of the last call, "" for none */
#define ZELSIM_ATTR_TRUNK_STATE 44u    /* 32-bit, read-only, E1 and T1: ZELSIM_TRUNK_* of zelsim_world.h */
#define ZELSIM_ATTR_TRUNK_SIGNALLING 45u /* record, read-only, E1 and T1: one byte of ABCD bits per channel */
#define ZELSIM_ATTR_TRUNK_HDLC_RX 46u  /* record, read-only, E1 and T1: the last HDLC frame received */
#define ZELSIM_ATTR_DEV_TIMER 47u      /* 32-bit, read-write, every physical device: see ZELSIM_EVENT_TIMER */
#define ZELSIM_MAX_TIMER_MS 86400000u

/* Tone generators and HDLC controllers on a line or trunk channel. */
#define ZELSIM_ATTR_TONE_PLAY 48u    /* 32-bit, read-write: ZELSIM_TONE_* playing, 0 stops */
#define ZELSIM_ATTR_TONE_DIGITS 49u  /* string, read-write: DTMF digits to send ("0123456789*#ABCD", 1 to 32) */
#define ZELSIM_ATTR_HDLC_TX 50u      /* record, read-write: a frame to send, 1 to 256 bytes; reads the last sent */
#define ZELSIM_TONE_DIAL 1u
#define ZELSIM_TONE_RINGBACK 2u
#define ZELSIM_TONE_BUSY 3u
#define ZELSIM_TONE_CONFIRM 4u

/* Driver event queues. */
#define ZELSIM_ATTR_EVQ_CAPACITY 32u  /* 32-bit, read-only: records it holds at most */
#define ZELSIM_ATTR_EVQ_COUNT 33u     /* 32-bit, read-only: records waiting */
#define ZELSIM_ATTR_EVQ_LOST 34u      /* 32-bit, read-only: device events dropped while full */
#define ZELSIM_ATTR_EVQ_HAS_EVENT 35u /* bool, read-only: an event object is bound */

/* ---------------------------------------------------------------------------
 * Driver event queues. A queue holds 1 to ZELSIM_EVQ_MAX_RECORDS records; at
 * most ZELSIM_EVQ_MAX_QUEUES queues live at once. Every record queued sets
 * the bound event. A full queue refuses records written by the application
 * (0x8D2, 0x8D5) and drops the device's own events, counting them.
 * ------------------------------------------------------------------------- */
#define ZELSIM_EVQ_MAX_QUEUES 64u
#define ZELSIM_EVQ_MAX_RECORDS 65536u

/* Event codes the board posts to every live event queue when a device,
 * logical device or pipe changes state (ZelDrvEnable, ZelDrvDisable,
 * ZelDrvReset) or is polled (ZelDrvPollEvents). The record:
 *   nExData0  the object's handle
 *   nExData1  the board's event sequence number, 1 for the first event
 *   nData0    the event code below
 *   nData1    the object's state word after the change (ZELSIM_STATE_*)
 *   nData2    driver time of the change, low word (see ZELSIM_TIME_UNIT_NS)
 *   nData3    driver time of the change, high word
 *   nData4    0
 *   nData5    0
 * ZelDrvEventCode2String names these codes; it refuses others. */
#define ZELSIM_EVENT_DEVICE_ENABLED 0x0101u
#define ZELSIM_EVENT_DEVICE_DISABLED 0x0102u
#define ZELSIM_EVENT_DEVICE_RESET 0x0103u
#define ZELSIM_EVENT_DEVICE_POLLED 0x0104u

/* Event codes of the world outside the board, posted for an open line or
 * trunk device (nExData0 its handle). Here nData1 is the event's value
 * below, nData4 the device (type << 8 | number) and nData5 as below; nData2
 * and nData3 the driver time, nExData1 the sequence number as above. A line
 * or trunk whose device is not open changes state without posting. */
#define ZELSIM_EVENT_OFF_HOOK 0x0201u       /* FXS: the telephone went off-hook */
#define ZELSIM_EVENT_ON_HOOK 0x0202u        /* FXS: the telephone went on-hook */
#define ZELSIM_EVENT_HOOK_FLASH 0x0203u     /* FXS: a hook flash */
#define ZELSIM_EVENT_DTMF_DIGIT 0x0204u     /* FXS, FXO: nData1 the digit's character */
#define ZELSIM_EVENT_PULSE_DIGIT 0x0205u    /* FXS: nData1 the digit's character */
#define ZELSIM_EVENT_RING_ON 0x0210u        /* FXO: a ring burst starts; nData1 the ring count from 1 */
#define ZELSIM_EVENT_RING_OFF 0x0211u       /* FXO: a ring burst ends; nData1 the ring count */
#define ZELSIM_EVENT_CALLER_ID 0x0212u      /* FXO: nData1 the number's length; ZELSIM_ATTR_LINE_CALLER_ID */
#define ZELSIM_EVENT_POLARITY 0x0213u       /* FXO: polarity reversal; nData1 1 reversed, 0 normal */
#define ZELSIM_EVENT_LOOP_DROP 0x0214u      /* FXO: the loop current dropped: the far end hung up */
#define ZELSIM_EVENT_RING_ABANDONED 0x0215u /* FXO: the caller gave up before the answer */
#define ZELSIM_EVENT_LOS 0x0301u            /* trunk: nData1 1 signal lost, 0 restored */
#define ZELSIM_EVENT_AIS 0x0302u            /* trunk: nData1 1 alarm indication raised, 0 cleared */
#define ZELSIM_EVENT_RAI 0x0303u            /* trunk: nData1 1 remote alarm raised, 0 cleared */
#define ZELSIM_EVENT_FRAME_SYNC 0x0304u     /* trunk: nData1 1 synchronisation gained, 0 lost */
#define ZELSIM_EVENT_SIGNALLING 0x0305u     /* trunk: nData1 the channel, nData5 its new ABCD bits */
#define ZELSIM_EVENT_HDLC_FRAME 0x0306u     /* trunk: nData1 the frame's size, nData5 the channel */
#define ZELSIM_EVENT_TIMER 0x0401u          /* any device: its ZELSIM_ATTR_DEV_TIMER ran out */

/* ---------------------------------------------------------------------------
 * Registers: each physical device has a 256-byte little-endian register file.
 * An access of width w (1, 2 or 4 bytes) must lie inside the file and be
 * aligned to w. Writes keep only the low w bytes of the value. Bytes 0x00 to
 * 0x0F are read-only; a reset clears 0x10 to 0xFF. Logical devices and pipes
 * have no registers.
 * ------------------------------------------------------------------------- */
#define ZELSIM_REG_FILE_SIZE 0x100u
#define ZELSIM_REG_ID 0x00u       /* 32-bit: 0x5A530000 | device type << 8 | device number */
#define ZELSIM_REG_REVISION 0x04u /* 32-bit: 0x00010407 */
#define ZELSIM_REG_STATUS 0x08u   /* 32-bit: the ZelDrvGetState word, live */
#define ZELSIM_REG_SERIAL 0x0Cu   /* 32-bit: the serial number's last four digits as BCD */
#define ZELSIM_REG_CONTROL 0x10u  /* 32-bit: free for the application */
#define ZELSIM_REG_SCRATCH 0x20u  /* 0x20 to 0xFF: free for the application */
#define ZELSIM_REG_READ_ONLY_END 0x10u

/* ---------------------------------------------------------------------------
 * Driver time: microseconds since the process started, from a monotonic
 * clock; it never goes backwards and does not restart with ZelSimReset.
 * ------------------------------------------------------------------------- */
#define ZELSIM_TIME_UNIT_NS 1000u

/* ---------------------------------------------------------------------------
 * Debug dump commands of ZelDrvDbgDump on a physical or logical device. The
 * text goes to the device's ZELSIM_ATTR_DEV_LAST_DUMP attribute.
 * ------------------------------------------------------------------------- */
#define ZELSIM_DUMP_STATE 1u        /* "state=0x00000003 enabled=1 ..." */
#define ZELSIM_DUMP_REGISTERS 2u    /* the register file as hexadecimal words */
#define ZELSIM_DUMP_EVENT_QUEUES 3u /* every live event queue: handle, count, capacity, lost */
#define ZELSIM_DUMP_CLEAR 4u        /* empties the dump text */

#endif /* ZELSIM_BOARD_H */
