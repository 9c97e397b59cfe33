// The load configuration and the Control Flow Guard pointers that a C
// runtime would otherwise supply. The code's guarded indirect calls go
// through the pointers, which the loader replaces with its own checks where
// the process enforces CFG; where it leaves them (older systems, Wine), the
// check returns and the dispatch jumps to its target. Nothing runs at load.
// Assembly, since GuardFlags is a 32-bit field holding the linker's absolute
// __guard_flags, which no C or C++ initialiser can narrow. One source for
// every architecture: the layout differs only in the pointer's size.

#define SYMBOL(name) JOIN(__USER_LABEL_PREFIX__, name)
#define JOIN(a, b) JOIN_(a, b)
#define JOIN_(a, b) a##b
#if __SIZEOF_POINTER__ == 8
#define POINTER .quad
#else
#define POINTER .long
#endif

// Compiled as guarded code that takes no function's address, so that the
// stubs below stay out of the table of valid call targets.
	.def	@feat.00
	.scl	3
	.type	0
	.endef
	.globl	@feat.00
	.set	@feat.00, 0x800

	.text
	.p2align 4
// The target in ecx (x86) or x15 (ARM64); every register kept.
guard_check_icall:
	ret
#if defined(__x86_64__)
// Only x64 code calls through the dispatch pointer, the target in rax.
	.p2align 4
guard_dispatch_icall:
	jmp	*%rax
#endif

// Read-only once loaded, as the loader expects of this section.
	.section .00cfg,"dr"
	.p2align 3
	.globl	SYMBOL(__guard_check_icall_fptr)
SYMBOL(__guard_check_icall_fptr):
	POINTER	guard_check_icall
#if defined(__x86_64__)
	.globl	SYMBOL(__guard_dispatch_icall_fptr)
SYMBOL(__guard_dispatch_icall_fptr):
	POINTER	guard_dispatch_icall
#define DISPATCH SYMBOL(__guard_dispatch_icall_fptr)
#else
#define DISPATCH 0
#endif

// IMAGE_LOAD_CONFIG_DIRECTORY32 or 64, up to GuardLongJumpTargetCount: 120
// bytes on x86, 192 on x64 and ARM64. The linker fills the guard symbols.
	.section .rdata,"dr"
	.p2align 3
	.globl	SYMBOL(_load_config_used)
SYMBOL(_load_config_used):
	.long	.Lload_config_end - SYMBOL(_load_config_used)
	// TimeDateStamp to SecurityCookie: nothing asked of the loader.
	.zero	28 + 8 * __SIZEOF_POINTER__
	// SEHandlerTable and SEHandlerCount: none (the x86 image says NO_SEH).
	POINTER	0, 0
	POINTER	SYMBOL(__guard_check_icall_fptr), DISPATCH
	POINTER	SYMBOL(__guard_fids_table), SYMBOL(__guard_fids_count)
	.long	SYMBOL(__guard_flags)
	// CodeIntegrity.
	.zero	12
	POINTER	SYMBOL(__guard_iat_table), SYMBOL(__guard_iat_count)
	POINTER	SYMBOL(__guard_longjmp_table), SYMBOL(__guard_longjmp_count)
.Lload_config_end:
