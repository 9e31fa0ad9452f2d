#include "app/run.hpp"

int main() { return sw::runMain(); }
