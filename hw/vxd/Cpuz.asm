; cpuz.vxd: the 9x family's device, a dynamically loadable virtual device driver that only
; loads, answers its open and close, and unloads. On Windows 95, 98 and Me the program executes
; its port instructions itself; opening \\.\cpuz.vxd merely loads this file (the system sends
; Sys_Dynamic_Device_Init, then W32_DeviceIoControl with DIOC_OPEN) and closing the handle
; unloads it again (DIOC_CLOSEHANDLE, then Sys_Dynamic_Device_Exit).
;
; Assembled by nasm into an ELF object; the host tool mvn_le_write turns it into the LE file:
; .text and .data become one locked code object (LCODE: readable, executable, preloaded,
; 32-bit), as the DDK's tools put a VxD's locked data beside its locked code, since the VxD
; loader refuses any object that is not of one of its code types. The device descriptor block
; in .data is exported as entry ordinal 1 (where the loader looks for it); its one address,
; that of the control procedure, becomes a fixup. Nothing here writes to the object, so its
; pages need not be writable.
;
; Built with -DMVN_VARIANT=... only by the test that shows the harness rejecting broken files.

bits 32

; System control messages (the VMM's message numbers).
SYS_DYNAMIC_DEVICE_INIT equ 0x1B
SYS_DYNAMIC_DEVICE_EXIT equ 0x1C
W32_DEVICEIOCONTROL     equ 0x23

; W32_DeviceIoControl: ESI points to the DIOCParams block; its fourth dword is the control code.
DIOCPARAMS_IOCONTROLCODE equ 0x0C
DIOC_OPEN                equ 0
DIOC_CLOSEHANDLE         equ -1
ERROR_NOT_SUPPORTED      equ 50

DDK_VERSION          equ 0x0400      ; Windows 95 and later
UNDEFINED_DEVICE_ID  equ 0           ; no services, so no device number of our own
UNDEFINED_INIT_ORDER equ 0x80000000
DDB_SIZE             equ 0x50

section .text
; The control procedure: EAX the message, EBX the VM, ESI/EDI/EDX the message's parameters.
; Carry clear is success. Every message but W32_DeviceIoControl (Sys_Dynamic_Device_Init and
; Sys_Dynamic_Device_Exit among them) needs nothing from us and succeeds.
CPUZ_Control:
        cmp     eax, W32_DEVICEIOCONTROL
        je      .device_io_control
        clc
        ret
; The answer goes in EAX: 0 lets CreateFileA and CloseHandle succeed; any other code fails the
; caller's DeviceIoControl with that error.
.device_io_control:
        mov     eax, [esi + DIOCPARAMS_IOCONTROLCODE]
        cmp     eax, DIOC_OPEN
        je      .done
        cmp     eax, DIOC_CLOSEHANDLE
        je      .done
%ifidn MVN_VARIANT, wrong_answer
        xor     eax, eax                ; broken on purpose: claims every code succeeded
%else
        mov     eax, ERROR_NOT_SUPPORTED
%endif
        clc
        ret
.done:
        xor     eax, eax                ; EAX 0, carry clear
        ret

section .data
; The device descriptor block.
global CPUZ_DDB
CPUZ_DDB:
        dd      0                       ; DDB_Next, set by the VMM
        dw      DDK_VERSION             ; DDB_SDK_Version
        dw      UNDEFINED_DEVICE_ID     ; DDB_Req_Device_Number
        db      1, 0                    ; DDB_Dev_Major_Version, DDB_Dev_Minor_Version
        dw      0                       ; DDB_Flags
        db      'CPUZ    '              ; DDB_Name, blank-padded to 8
        dd      UNDEFINED_INIT_ORDER    ; DDB_Init_Order
%ifidn MVN_VARIANT, no_fixup
        dd      0                       ; broken on purpose: the address without its fixup
%else
        dd      CPUZ_Control            ; DDB_Control_Proc
%endif
        dd      0                       ; DDB_V86_API_Proc
        dd      0                       ; DDB_PM_API_Proc
        dd      0                       ; DDB_V86_API_CSIP
        dd      0                       ; DDB_PM_API_CSIP
        dd      0                       ; DDB_Reference_Data
        dd      0                       ; DDB_Service_Table_Ptr: no services
        dd      0                       ; DDB_Service_Table_Size
        dd      0                       ; DDB_Win32_Service_Table
        dd      0x50726576              ; DDB_Prev, 'Prev' as the DDK's assembler stores it
        dd      DDB_SIZE                ; DDB_Size
        dd      0x52737631              ; DDB_Reserved1, 'Rsv1'
        dd      0x52737632              ; DDB_Reserved2, 'Rsv2'
        dd      0x52737633              ; DDB_Reserved3, 'Rsv3'
%if $ - CPUZ_DDB != DDB_SIZE
%error "the descriptor block must be DDB_SIZE bytes"
%endif
