#include "cli/InterruptStop.h"
#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "publisher/ReleaseZip.h"
#include "publisher/Verbs.h"

#include <iostream>

int packVerb(const Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positionals(2);
    InterruptStop interrupt;
    try {
        std::cout << CenterPublisher::packRelease(words[0], words[1], interrupt.token()) << '\n';
    } catch (const CancellationError&) {
        throw CenterError::invalid("打包已中断，未写入安装包：" + words[1]);
    }
    return 0;
}
