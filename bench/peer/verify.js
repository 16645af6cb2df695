// Checks the proxies of FILE (address:port a line) with the peer checker, LIMIT at a time, through
// JUDGE (its JSON form) with a per-request timeout of TIMEOUT_MS. Prints one line per proxy,
// "address:port elite|anonymous|transparent|fail", then "wall_ms N".
//   node verify.js FILE JUDGE LIMIT TIMEOUT_MS
'use strict';
const fs = require('fs');
const ProxyVerifier = require('proxy-verifier');

const [file, judge, limit, timeout] = process.argv.slice(2);
const proxies = fs.readFileSync(file, 'utf8').trim().split('\n');
const results = new Array(proxies.length);
let next = 0;
let done = 0;
const start = process.hrtime.bigint();

function finish() {
    const lines = proxies.map((address, i) => address + ' ' + results[i]);
    lines.push('wall_ms ' + Number(process.hrtime.bigint() - start) / 1e6);
    process.stdout.write(lines.join('\n') + '\n');
}

function checkNext() {
    if (next >= proxies.length)
        return;
    const i = next++;
    const [ipAddress, port] = proxies[i].split(':');
    const proxy = {ipAddress, port: Number(port), protocols: ['http']};
    // Our own address is given, as the tester learns it once before its run.
    const options = {testUrl: judge, myIpAddress: '127.0.0.1', requestOptions: {timeout: Number(timeout)}};
    ProxyVerifier.testAnonymityLevel(proxy, options, (error, level) => {
        results[i] = error || !level ? 'fail' : level;
        if (++done === proxies.length)
            finish();
        else
            checkNext();
    });
}

for (let i = 0; i < Number(limit); ++i)
    checkNext();
