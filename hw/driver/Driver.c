/* The kernel I/O driver: the device \Device\cpuz, open to SYSTEM and Administrators only,
   whose device-control requests go to the shared request checks and, through them, to the
   configuration operations this image was built with (the HAL's or the simulated chip's). */
#include <ntifs.h>

#include "hw/driver/ConfigOps.h"
#include "hw/driver/Protocol.h"
#include "hw/driver/Requests.h"

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

/* The configuration operations chosen once at load; requests only read them. */
static const MvnConfigOps* g_config;

static NTSTATUS MvnCompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* Only the device itself can be opened: there is nothing below it. Each open handle's file
   object carries that client's emulated address port in its context word (this driver is no
   file system, so the word is its own), 0 at first. */
static NTSTATUS NTAPI MvnCreate(PDEVICE_OBJECT device, PIRP irp) {
  PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  UNREFERENCED_PARAMETER(device);
  if (file == NULL) return MvnCompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  if (file->FileName.Length != 0) return MvnCompleteIrp(irp, STATUS_OBJECT_NAME_NOT_FOUND, 0);
  file->FsContext = NULL;
  return MvnCompleteIrp(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI MvnClose(PDEVICE_OBJECT device, PIRP irp) {
  UNREFERENCED_PARAMETER(device);
  return MvnCompleteIrp(irp, STATUS_SUCCESS, 0);
}

/* Both requests use buffered transfer: the one system buffer holds the input on the way in
   and receives the output on the way back. */
static NTSTATUS NTAPI MvnDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  PFILE_OBJECT file = stack->FileObject;
  uint32_t information = 0;
  uint32_t address;
  NTSTATUS status;
  UNREFERENCED_PARAMETER(device);

  if (file == NULL) return MvnCompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  /* The system hands no buffer when both lengths are zero; such a request is refused by the
     length checks before anything looks at the buffer. The configuration access itself is
     serialised by the back end; the address is this handle's own. */
  address = (uint32_t)(uintptr_t)file->FsContext;
  status = MvnHandleRequest(g_config, &address, code, buffer, inLength, buffer, outLength,
                            &information);
  file->FsContext = (PVOID)(uintptr_t)address;
  return MvnCompleteIrp(irp, status, NT_SUCCESS(status) ? information : 0);
}

/* A security identifier with up to two sub-authorities, stored aligned. */
typedef struct MvnSid {
  ULONG words[4];
} MvnSid;

static void MvnInitNtSid(MvnSid* sid, ULONG first, ULONG second, UCHAR count) {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  RtlInitializeSid(sid, &ntAuthority, count);
  *RtlSubAuthoritySid(sid, 0) = first;
  if (count > 1) *RtlSubAuthoritySid(sid, 1) = second;
}

/* Replaces the device's default discretionary ACL, which admits everyone, by one that admits
   only SYSTEM and the Administrators group, protected from inherited entries. The device is
   created with FILE_DEVICE_SECURE_OPEN, so the same check covers names opened below it. */
static NTSTATUS MvnRestrictDevice(PDEVICE_OBJECT device) {
  MvnSid system;
  MvnSid administrators;
  ULONG aclBuffer[32];
  PACL acl = (PACL)aclBuffer;
  SECURITY_DESCRIPTOR descriptor;
  HANDLE handle;
  ULONG aclLength;
  NTSTATUS status;

  MvnInitNtSid(&system, SECURITY_LOCAL_SYSTEM_RID, 0, 1);
  MvnInitNtSid(&administrators, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2);
  aclLength = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(ULONG)) +
              RtlLengthSid(&system) + RtlLengthSid(&administrators);
  if (aclLength > sizeof(aclBuffer)) return STATUS_BUFFER_TOO_SMALL;

  status = RtlCreateAcl(acl, aclLength, ACL_REVISION);
  if (NT_SUCCESS(status))
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, &system);
  if (NT_SUCCESS(status))
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, &administrators);
  if (NT_SUCCESS(status))
    status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status)) status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
  if (!NT_SUCCESS(status)) return status;
  descriptor.Control |= SE_DACL_PROTECTED;

  status =
      ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode, &handle);
  if (!NT_SUCCESS(status)) return status;
  status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
  ZwClose(handle);
  return status;
}

static void NTAPI MvnUnload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, MVN_DOS_DEVICE_NAME_W);
  IoDeleteSymbolicLink(&link);
  if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  UNICODE_STRING name;
  UNICODE_STRING link;
  PDEVICE_OBJECT device;
  NTSTATUS status;
  UNREFERENCED_PARAMETER(registryPath);

  g_config = MvnStartConfig();
  driver->MajorFunction[IRP_MJ_CREATE] = MvnCreate;
  driver->MajorFunction[IRP_MJ_CLOSE] = MvnClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = MvnDeviceControl;
  driver->DriverUnload = MvnUnload;

  RtlInitUnicodeString(&name, MVN_DEVICE_NAME_W);
  status =
      IoCreateDevice(driver, 0, &name, MVN_DEVICE_TYPE, FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;

  /* The system refuses opens while the device is initialising, so it is secured before it is
     offered; a device that cannot be secured is not offered at all. */
  status = MvnRestrictDevice(device);
  if (NT_SUCCESS(status)) {
    RtlInitUnicodeString(&link, MVN_DOS_DEVICE_NAME_W);
    status = IoCreateSymbolicLink(&link, &name);
  }
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }

  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
