/* The 32-bit uninstaller stub's layout: the linker's default for PE executables with fewer sections.
   Every section's raw data is padded to the 512-byte file alignment, so each section saved is on
   average 256 bytes of the file, and the stub travels with every installation.

   - .text: the code, then the constants (read-only and never written, as in a separate .rdata;
     executable as well, which the image's relocations and the no-execute flag for the writable
     sections do not change: nothing writable is executable).
   - .uninst: the data-offset marker and field first (the packer and the build find the field at the
     start of this section's raw data), then the import tables, which the loader writes when it binds
     the imports and so must stay writable as in the usual .idata section, then any initialised data.
     The loaders find the imports through the image's import and IAT directories, not by section name.
   - .bss, .rsrc, .reloc as the default script has them: resource tools look for .rsrc by name.

   The stub has no C runtime: nothing would run static constructors or apply runtime pseudo
   relocations, so the link fails when the code needs either. */
OUTPUT_FORMAT(pei-i386)
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + (__section_alignment__ < 0x1000 ? . : __section_alignment__) :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    *(.rdata)
    *(SORT(.rdata$*))
    __rt_psrelocs_start = .;
    KEEP (*(.rdata_runtime_pseudo_reloc))
    __rt_psrelocs_end = .;
    __stub_ctors_start = .;
    KEEP (*(.ctors)) KEEP (*(.ctor)) KEEP (*(SORT_BY_NAME(.ctors.*)))
    KEEP (*(.dtors)) KEEP (*(.dtor)) KEEP (*(SORT_BY_NAME(.dtors.*)))
    __stub_ctors_end = .;
  }
  ASSERT(__rt_psrelocs_end == __rt_psrelocs_start,
         "uninst: runtime pseudo relocations need a C runtime, which the stub does not have")
  ASSERT(__stub_ctors_end == __stub_ctors_start,
         "uninst: static constructors or destructors would never run: the stub has no C runtime")
  .uninst BLOCK(__section_alignment__) :
  {
    KEEP (*(.uninst))
    /* The import directory: sorted as in the default script (see ld's pe.em, sort_sections). */
    ".idata$2" = ABSOLUTE(.) - __image_base__;
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* These zeroes mark the end of the import list. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    ".idata$4" = ABSOLUTE(.) - __image_base__;
    KEEP (SORT(*)(.idata$4))
    ".idata$5" = ABSOLUTE(.) - __image_base__;
    KEEP (SORT(*)(.idata$5))
    ".idata$6" = ABSOLUTE(.) - __image_base__;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    *(.data)
    *(.data2)
    *(SORT(.data$*))
  }
  .eh_frame BLOCK(__section_alignment__) :
  {
    KEEP (*(.eh_frame*))
  }
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(COMMON)
  }
  /DISCARD/ :
  {
    *(.debug$S)
    *(.debug$T)
    *(.debug$F)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
}
