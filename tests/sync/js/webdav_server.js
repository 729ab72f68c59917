// The npm WebDAV server on loopback for the sync tests:
//   node webdav_server.js PORT FOLDER USER PASSWORD
// serves FOLDER at /dav/ with basic authentication until it is stopped.
'use strict';
const path = require('path');
const { v2: webdav } = require(path.join(__dirname, 'node_modules', 'webdav-server'));

const [port, folder, user, password] = process.argv.slice(2);
const users = new webdav.SimpleUserManager();
const account = users.addUser(user, password, false);
const privileges = new webdav.SimplePathPrivilegeManager();
privileges.setRights(account, '/', ['all']);
const server = new webdav.WebDAVServer({
  hostname: '127.0.0.1',
  port: Number(port),
  httpAuthentication: new webdav.HTTPBasicAuthentication(users, 'sync'),
  privilegeManager: privileges,
});
server.setFileSystem('/dav', new webdav.PhysicalFileSystem(folder), () => {
  server.start(() => process.stdout.write('listening\n'));
});
