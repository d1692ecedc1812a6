/* The asset pack as one read-only byte array, taken in whole by the
   assembler: no generated source of several megabytes. The build passes the
   pack's path as VYR_ASSET_PACK_FILE. 32-bit Windows puts an underscore in
   front of C names, which __USER_LABEL_PREFIX__ supplies. */
#define VYR_CAT2(a, b) a##b
#define VYR_CAT(a, b) VYR_CAT2(a, b)
#define VYR_SYMBOL(name) VYR_CAT(__USER_LABEL_PREFIX__, name)

#if defined(__ELF__)
    .section .rodata
#else
    .section .rdata,"dr"
#endif

    .globl VYR_SYMBOL(vyr_asset_pack_begin)
    .globl VYR_SYMBOL(vyr_asset_pack_size)
#if defined(__ELF__)
    .type VYR_SYMBOL(vyr_asset_pack_begin), @object
    .type VYR_SYMBOL(vyr_asset_pack_size), @object
#endif

    .balign 16
VYR_SYMBOL(vyr_asset_pack_begin):
    .incbin VYR_ASSET_PACK_FILE
vyr_asset_pack_end:
#if defined(__ELF__)
    .size VYR_SYMBOL(vyr_asset_pack_begin), vyr_asset_pack_end - VYR_SYMBOL(vyr_asset_pack_begin)
#endif

    .balign 4
VYR_SYMBOL(vyr_asset_pack_size):
    .long vyr_asset_pack_end - VYR_SYMBOL(vyr_asset_pack_begin)
#if defined(__ELF__)
    .size VYR_SYMBOL(vyr_asset_pack_size), 4
    /* No executable stack is needed. */
    .section .note.GNU-stack,"",@progbits
#endif
