/* The C interface a real programmer driver exports for Kalvort (KALVORT_USB_DRIVER names the
 * shared library). Every function must be present under exactly these names. `bool` is C99 _Bool;
 * out arguments are never NULL. The library must tolerate calls from more than one thread, though
 * never two at once except when a plug or unplug event arrives during a transfer. */
#ifndef KALVORT_USB_DLL_ABI_H
#define KALVORT_USB_DLL_ABI_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef bool (*kalvort_InitUSB_fn)(void);
typedef void (*kalvort_CloseUSB_fn)(void);
typedef void (*kalvort_FlashUSB_fn)(void);
typedef bool (*kalvort_Read_SMP_config_byte_fn)(uint8_t *status, uint8_t *version, bool *present);
typedef bool (*kalvort_SetReadSMP_fn)(uint8_t slot, uint32_t flash_address);
typedef bool (*kalvort_SetWriteSMP_fn)(uint8_t slot, uint32_t address);
typedef bool (*kalvort_ClearSMP_fn)(uint8_t slot, uint16_t first_block, uint16_t block_count);
typedef bool (*kalvort_SetSmpBufSize_fn)(uint8_t slot, uint16_t size);
typedef bool (*kalvort_ReadUSBData_fn)(uint8_t *buffer, uint32_t length, uint32_t *transferred);
typedef bool (*kalvort_WriteUSBData_fn)(const uint8_t *buffer, uint32_t length,
                                        uint32_t *transferred);
typedef bool (*kalvort_WriteUSBComand_fn)(const uint8_t *record, uint32_t length,
                                          uint32_t *transferred);
typedef bool (*kalvort_AbortIO_fn)(void);

#ifdef __cplusplus
}
#endif

#endif
