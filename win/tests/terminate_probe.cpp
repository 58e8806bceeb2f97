// Lets an exception escape main, for the test of the message printed before the program ends.
#include <stdexcept>

int main() { throw std::runtime_error("damaged job 7"); }
