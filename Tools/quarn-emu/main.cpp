#include <cstdio>
int main() { std::puts("quarn-emu"); return 0; }
