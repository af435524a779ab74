// mp3PostAritcle: posts one article on the caller's thread.
#include <exception>

#include "core/error_text.h"
#include "core/operation.h"
#include "corvane_n.h"
#include "net/socket_wait.h"
#include "nntp/post_article.h"

using namespace corvane;

extern "C" int32_t CORVANE_CALL mp3PostAritcle(char *errorText, const char *from, const char *newsgroups,
                                               const char *subject, const char *body) {
    try {
        const OperationScope operation(beginOperation(OperationKind::Call));
        // The caller's thread (the GUI's) gets its answer in bounded time whatever the server does.
        const CallDeadline deadline(callBudget());
        const ArticleFields fields{from ? from : "", newsgroups ? newsgroups : "", subject ? subject : "",
                                   body ? body : ""};
        std::string error;
        if (postArticle(error, fields)) return -1;
        copyErrorText(errorText, error);
        return 0;
    } catch (...) {
        copyErrorText(errorText, kOutOfMemory);
        return 0;
    }
}
