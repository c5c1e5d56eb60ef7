#include <cstdio>
int main() { std::puts("qelcut"); return 0; }
