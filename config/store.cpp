#include "config/config.h"

ConfigStore config;

void configReport(const char *text)
{
    if (config.report)
        config.report(text);
}
