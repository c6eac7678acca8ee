#include <cstdio>

int main(int argc, char** argv)
{
	(void)argc;
	(void)argv;
	std::puts("usage: kestrix-installer [key | key=value ...]");
	return 0;
}
