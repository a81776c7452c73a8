# Entry point of the PE fixtures: they are read, never run.
.text
.globl _start
_start:
  ret
