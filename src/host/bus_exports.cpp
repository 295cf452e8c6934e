// C functions of the bus publisher.
#include <corvane/corvane.h>
