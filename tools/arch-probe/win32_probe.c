/* Started under Wine to learn whether this host runs 32-bit Windows programs at all. */
int main(void) { return 32; }
