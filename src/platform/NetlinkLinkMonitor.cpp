#include "platform/NetlinkLinkMonitor.h"

#include <linux/rtnetlink.h>

NetlinkLinkMonitor::NetlinkLinkMonitor(QObject* parent)
    : LinkMonitor(parent),
      m_watch(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE,
              {RTM_NEWLINK, RTM_DELLINK, RTM_NEWADDR, RTM_NEWROUTE, RTM_DELROUTE}) {
    connect(&m_watch, &RtnetlinkWatch::arrived, this, &LinkMonitor::linksChanged);
}
