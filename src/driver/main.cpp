#include "driver/run.hpp"

int main() { return sw::runMain(); }
