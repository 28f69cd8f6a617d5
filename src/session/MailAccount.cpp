#include "session/MailAccount.h"

namespace pelko {

MailAccount AccountOf(const TPOPAcc& record)
{
    return {record.acc_name, record.host_name, record.user_name, ReadAccountAuth(record.password)};
}

} // namespace pelko
